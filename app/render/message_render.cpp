#include "message_render.h"

#include <algorithm>
#include <vector>

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QLocale>
#include <QPixmap>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>

#include "pel_language.h"
#include "pelmsg.h"
#include "preview_support.h"
#include "program_texts.h"
#include "qt_glue.h"
#include "rtf_text_document.h"

namespace quorra {

TProgramText strRenderAttachments("strRenderAttachments", "Attachments:");

namespace {

// A text from a message in the rendering: its bidirectional controls visible, as the preview's fields show it.
QString Escaped(const QString& text)
{
    return QString::fromStdU16String(VisibleBidiControls(text.toStdU16String())).toHtmlEscaped();
}

QImage ImageOf(const QVariant& resource)
{
    if (resource.typeId() == QMetaType::QImage)
        return resource.value<QImage>();
    if (resource.typeId() == QMetaType::QPixmap)
        return resource.value<QPixmap>().toImage();
    return {};
}

QByteArray PictureMime(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG"))
        return "image/png";
    if (bytes.startsWith("\xFF\xD8"))
        return "image/jpeg";
    if (bytes.startsWith("GIF8"))
        return "image/gif";
    if (bytes.startsWith("BM"))
        return "image/bmp";
    return {};
}

// The pictures an HTML body names by content id or file name: every attachment that is a picture (the web
// view's "cid:" handler finds them the same two ways).
void AddAttachmentPictures(QTextDocument& document, const pelmsg::TMSGProperties& message)
{
    auto* rendered = dynamic_cast<TRenderDocument*>(&document);
    for (int i = 0; i < message.AttachmentCount(); ++i) {
        const pelmsg::TMSGProperty* node = message.Attachments(i);
        if (!node)
            continue;
        QByteArray bytes;
        try {
            pelmsg::TMemoryStream stream;
            pelmsg::WriteAttachmentData(message, i, stream);
            bytes = QByteArray::fromStdString(stream.TakeBytes());
        } catch (const std::exception&) {
            continue;
        }
        const QByteArray mime = PictureMime(bytes);
        QImage image;
        if (mime.isEmpty() || !image.loadFromData(bytes))
            continue;
        QString id = Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachContentId, 0), true, true))
                         .trimmed();
        if (id.isEmpty())
            id = Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(0x0008, 0), true, true)).trimmed();
        if (id.startsWith(QLatin1Char('<')) && id.endsWith(QLatin1Char('>')))
            id = id.mid(1, id.size() - 2);
        const QString name
            = Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachFileName, 0), true, true));
        for (const QString& key : { id.isEmpty() ? QString() : QStringLiteral("cid:") + id, name }) {
            if (key.isEmpty())
                continue;
            if (rendered)
                rendered->AddPicture(QUrl(key), image, bytes, mime);
            else
                document.addResource(QTextDocument::ImageResource, QUrl(key), image);
        }
    }
}

// The rich text through the library's RTF reader, as HTML, its pictures moved into the document.
QString RichTextHtml(QTextDocument& document, const pelmsg::TMSGProperties& message)
{
    QTextDocument rich;
    try {
        LoadRtfIntoDocument(Q(message.RtfBody()), rich);
    } catch (const std::exception&) {
        return {};
    }
    if (rich.isEmpty())
        return {};
    auto* rendered = dynamic_cast<TRenderDocument*>(&document);
    for (QTextBlock block = rich.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (const QTextCharFormat f = it.fragment().charFormat(); f.isImageFormat()) {
                const QUrl name(f.toImageFormat().name());
                const QVariant picture = rich.resource(QTextDocument::ImageResource, name);
                if (rendered)
                    rendered->AddPicture(name, ImageOf(picture), PngBytes(ImageOf(picture)), "image/png");
                else
                    document.addResource(QTextDocument::ImageResource, name, picture);
            }
    return rich.toHtml();
}

// Qt's HTML reader takes a <link> for an element with content: in a body, everything after one would be lost. Each
// is written closed (what it names is never loaded anyway).
QString ClosedLinks(QString html)
{
    static const QRegularExpression link(
        QStringLiteral("(<link\\b[^>]*?)\\s*/?>"), QRegularExpression::CaseInsensitiveOption);
    return html.replace(link, QStringLiteral("\\1 />"));
}

QString HtmlBody(const pelmsg::TMSGProperties& message)
{
    QString html = Q(message.HtmlBody());
    if (html.isEmpty() && !message.RtfBodyBytes().empty()) {
        // From the stored bytes: raw 8-bit characters are in the RTF's code pages, which the extraction follows.
        try {
            const std::string fromRtf = pelmsg::TakeHtmlFromRtf(message.RtfBodyBytes());
            html = QString::fromUtf8(fromRtf.data(), qsizetype(fromRtf.size()));
        } catch (const std::exception&) {
        }
    }
    return ClosedLinks(html);
}

QString PlainBodyHtml(const pelmsg::TMSGProperties& message)
{
    QString plain = Q(message.PlainBody());
    if (plain.isEmpty())
        return {};
    plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return QStringLiteral("<pre style=\"white-space: pre-wrap\">%1</pre>").arg(Escaped(plain));
}

QString BodyHtml(QTextDocument& document, const pelmsg::TMSGProperties& message, TRenderBody wanted)
{
    // The form asked for first, then the others in the preview's order of preference.
    const TRenderBody order[] = { wanted, TRenderBody::Html, TRenderBody::RichText, TRenderBody::Plain };
    for (TRenderBody body : order) {
        QString html;
        switch (body) {
        case TRenderBody::Html:
            html = HtmlBody(message);
            if (!html.isEmpty())
                AddAttachmentPictures(document, message);
            break;
        case TRenderBody::RichText:
            html = RichTextHtml(document, message);
            break;
        case TRenderBody::Plain:
            html = PlainBodyHtml(message);
            if (html.isEmpty()) {
                // A message with rich text only shows that text on the plain tab too.
                QTextDocument rich;
                try {
                    LoadRtfIntoDocument(Q(message.RtfBody()), rich);
                } catch (const std::exception&) {
                }
                if (!rich.isEmpty())
                    html = QStringLiteral("<pre style=\"white-space: pre-wrap\">%1</pre>")
                               .arg(Escaped(rich.toPlainText()));
            }
            break;
        case TRenderBody::Best:
            break;
        }
        if (!html.isEmpty())
            return html;
    }
    return {};
}

qint64 AttachmentSize(const pelmsg::TMSGProperty& node)
{
    const pelmsg::TMSGProperty* data = node.AttachmentDataNode();
    if (!data)
        return -1;
    if (const auto* bytes = std::get_if<pelmsg::ByteString>(&data->Value))
        return qint64(bytes->size());
    return -1;
}

} // namespace

TRenderTexts DefaultRenderTexts()
{
    TRenderTexts t;
    t.Attachments = strRenderAttachments();
    t.Importance[0] = strLowestPriority();
    t.Importance[1] = strLowPriority();
    t.Importance[3] = strHighPriority();
    t.Importance[4] = strHighestPriority();
    return t;
}

TRenderTexts RenderTextsFromLanguageFile(const QString& languageFile)
{
    TRenderTexts t;
    t.Attachments = strRenderAttachments.English();
    t.Importance[0] = strLowestPriority.English();
    t.Importance[1] = strLowPriority.English();
    t.Importance[3] = strHighPriority.English();
    t.Importance[4] = strHighestPriority.English();
    if (languageFile.isEmpty())
        return t;
    const std::pair<const char*, QString*> labels[] = { { "frmMessage.lblFrom.Caption", &t.From },
        { "frmMessage.lblTo.Caption", &t.To }, { "frmMessage.lblCC.Caption", &t.CC },
        { "frmMessage.lblBCC.Caption", &t.BCC }, { "frmMessage.lblSubject.Caption", &t.Subject },
        { "frmMessage.lblWhen.Caption", &t.When }, { "frmMessage.lblWhere.Caption", &t.Where } };
    for (const TLanguageLine& line : ReadLanguageSection(languageFile, QStringLiteral("Translations")))
        for (const auto& [key, text] : labels)
            if (line.Name.compare(QLatin1String(key), Qt::CaseInsensitive) == 0 && !line.Value.isEmpty())
                *text = line.Value;
    const std::pair<const TProgramText*, QString*> custom[] = { { &strRenderAttachments, &t.Attachments },
        { &strLowestPriority, &t.Importance[0] }, { &strLowPriority, &t.Importance[1] },
        { &strHighPriority, &t.Importance[3] }, { &strHighestPriority, &t.Importance[4] } };
    for (const TLanguageLine& line : ReadLanguageSection(languageFile, QStringLiteral("Custom")))
        for (const auto& [key, text] : custom)
            if (line.Name.compare(QLatin1String(key->Key()), Qt::CaseInsensitive) == 0 && !line.Value.isEmpty())
                *text = line.Value;
    return t;
}

void TRenderDocument::AddPicture(const QUrl& name, const QImage& image, const QByteArray& bytes, const QByteArray& mime)
{
    addResource(QTextDocument::ImageResource, name, image);
    pictures_.insert(name.toString(), { bytes, mime });
}

bool TRenderDocument::HasOwnPicture(const QString& name) const
{
    if (pictures_.contains(name))
        return true;
    if (!name.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return false;
    const QImage image = ImageOf(const_cast<TRenderDocument*>(this)->resource(ImageResource, QUrl(name)));
    return !image.isNull() && image.width() > 1;
}

void TRenderDocument::KeepOwnContent()
{
    struct TEdit {
        int Position;
        int Length;
        bool Remove;
        QTextCharFormat Format;
    };
    std::vector<TEdit> edits;
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat() && !HasOwnPicture(format.toImageFormat().name())) {
                edits.push_back({ fragment.position(), fragment.length(), true, {} });
                continue;
            }
            bool changed = false;
            if (format.hasProperty(QTextFormat::AnchorHref) && !IsKeptLinkTarget(format.anchorHref())) {
                format.clearProperty(QTextFormat::AnchorHref);
                if (format.anchorNames().isEmpty())
                    format.setAnchor(false);
                changed = true;
            }
            if (format.hasProperty(QTextFormat::BackgroundImageUrl)) {
                format.clearProperty(QTextFormat::BackgroundImageUrl);
                changed = true;
            }
            if (changed)
                edits.push_back({ fragment.position(), fragment.length(), false, format });
        }
    }
    QTextCursor cursor(this);
    cursor.beginEditBlock();
    for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
        cursor.setPosition(it->Position);
        cursor.setPosition(it->Position + it->Length, QTextCursor::KeepAnchor);
        if (it->Remove)
            cursor.removeSelectedText();
        else
            cursor.setCharFormat(it->Format);
    }
    cursor.endEditBlock();
}

QVariant TRenderDocument::loadResource(int type, const QUrl& name)
{
    QVariant resource;
    if (name.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) == 0)
        resource = QTextDocument::loadResource(type, name);
    if (type == QTextDocument::ImageResource) {
        QImage image;
        if (resource.typeId() == QMetaType::QByteArray)
            image.loadFromData(resource.toByteArray());
        if (image.isNull()) {
            image = QImage(1, 1, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
        }
        return image;
    }
    if (type == QTextDocument::StyleSheetResource && resource.isNull())
        return QString();
    return resource;
}

void FillRenderedMessage(QTextDocument& document, const pelmsg::TMSGProperties& message, const TRenderOptions& options)
{
    const TRenderTexts& texts = options.Texts;
    QString html;
    // The importance line, with the preview's marks and in its banner colours.
    static constexpr const char* kImportanceMarks[] = { "|| ", "| ", "", "! ", "!! " };
    const int level = message.ImportanceLevel();
    if (level >= 0 && level <= 4 && !texts.Importance[level].isEmpty())
        html += QStringLiteral("<table width=\"100%\" cellspacing=0 cellpadding=4 bgcolor=\"#3366CC\"><tr><td>"
                               "<b><font color=\"%1\">%2</font></b></td></tr></table>")
                    .arg(level >= 3 ? QStringLiteral("#C1D2EE") : QStringLiteral("#FFFF00"),
                        QLatin1String(kImportanceMarks[level]) + texts.Importance[level].toHtmlEscaped());
    // The header fields on the preview's light blue.
    html += QStringLiteral("<table width=\"100%\" cellspacing=0 cellpadding=2 bgcolor=\"#C1D2EE\">");
    // The caption column as wide as the widest caption in bold: a narrower one would break captions letter by
    // letter, a share of the page would waste it.
    QFont bold = document.defaultFont();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    int captionWidth = 0;
    for (const QString* caption :
        { &texts.From, &texts.To, &texts.CC, &texts.BCC, &texts.Subject, &texts.When, &texts.Where })
        captionWidth = std::max(captionWidth, metrics.horizontalAdvance(*caption));
    auto row = [&html, captionWidth](const QString& label, const QString& value) {
        if (!value.isEmpty())
            html += QStringLiteral("<tr><td align=right valign=top width=%3><b><font color=\"#000000\">%1"
                                   "</font></b></td><td><font color=\"#000000\">%2</font></td></tr>")
                        .arg(label.toHtmlEscaped(), value, QString::number(captionWidth + 8));
    };
    QString from = Escaped(Q(message.From()));
    if (const double sent = message.SentDate(); sent != 0)
        from += QStringLiteral("&nbsp;&nbsp;&nbsp;") + Escaped(Q(pelmsg::LocaleDateTimeText(sent)));
    row(texts.From, from);
    QString to = Q(message.ToList());
    if (to.isEmpty())
        to = Q(message.ReceivedByAddress());
    row(texts.To, Escaped(to));
    row(texts.CC, Escaped(Q(message.CcList())));
    row(texts.BCC, Escaped(Q(message.BccList())));
    row(texts.Subject, Escaped(Q(message.Subject())));
    const pelmsg::TItemSummary item = pelmsg::SummarizeItem(message);
    row(texts.When, Escaped(Q(item.When)));
    if (!item.When.empty())
        row(texts.Where, Escaped(Q(item.Where)));
    html += QStringLiteral("</table><hr>");

    html += BodyHtml(document, message, options.Body);

    // The attachments: their names as the message gives them, and their sizes.
    QString list;
    for (int i = 0; i < message.AttachmentCount(); ++i) {
        const pelmsg::TMSGProperty* node = message.Attachments(i);
        if (!node)
            continue;
        const qint64 size = AttachmentSize(*node);
        list += QStringLiteral("<tr><td>%1</td><td align=right>%2</td></tr>")
                    .arg(Escaped(Q8(node->AttachmentDisplayName(i))),
                        size >= 0 ? AttachmentSizeText(size).toHtmlEscaped() : QString());
    }
    if (!list.isEmpty())
        html += QStringLiteral("<hr><p><b>%1</b></p><table cellspacing=0 cellpadding=2>%2</table>")
                    .arg(texts.Attachments.toHtmlEscaped(), list);
    document.setHtml(html);
    if (auto* rendered = dynamic_cast<TRenderDocument*>(&document))
        rendered->KeepOwnContent();
    // The document's title is the message's subject (a body's own <title> would take its place).
    document.setMetaInformation(QTextDocument::DocumentTitle, Q(message.Subject()));
}

std::unique_ptr<TRenderDocument> RenderMessage(const pelmsg::TMSGProperties& message, const TRenderOptions& options)
{
    auto document = std::make_unique<TRenderDocument>();
    FillRenderedMessage(*document, message, options);
    return document;
}

bool IsKeptLinkTarget(const QString& href)
{
    if (href.startsWith(QLatin1Char('#')))
        return href.size() > 1;
    const QUrl url(href, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mailto"))
        return true;
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp"))
        && !url.host().isEmpty();
}

QString AttachmentSizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QByteArray PngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace quorra
