#include "render_files.h"

#include <vector>

#include <QBuffer>
#include <QLocale>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include "message_render.h"
#include "pelmsg.h"
#include "save_formats.h"
#include "version.h"

namespace quorra {

namespace {

// A PDF text string: UTF-16BE with its byte order mark, in hex (any character, no escaping to get wrong).
QByteArray PdfText(const QString& text)
{
    QByteArray bytes = "<FEFF";
    for (const QChar c : text)
        bytes += QByteArray::number(c.unicode() | 0x10000, 16).mid(1).toUpper();
    return bytes + '>';
}

// The picture a data: address shows, as PNG: what it was written as (an SVG with script, a picture with
// trailing bytes) does not reach the file.
QByteArray DataPictureAsPng(TRenderDocument& document, const QString& name)
{
    const QVariant resource = document.resource(QTextDocument::ImageResource, QUrl(name));
    const QImage image = resource.value<QImage>();
    if (image.isNull())
        return {};
    return "data:image/png;base64," + PngBytes(image).toBase64();
}

} // namespace

QPageSize DefaultPageSize(const QLocale& locale)
{
    return QPageSize(locale.measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4);
}

QByteArray RenderPdf(const QTextDocument& document, const TPdfInfo& info)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setTitle(info.Title);
        writer.setCreator(info.Creator);
        writer.setPageSize(info.PageSize);
        writer.setResolution(300);
        // QTextDocument::print lays the document out on the page with margins of its own and numbers the pages.
        document.print(&writer);
    }
    return WithPdfInfo(bytes, info);
}

QByteArray WithPdfInfo(const QByteArray& pdf, const TPdfInfo& info)
{
    const qsizetype trailer = pdf.lastIndexOf("trailer");
    const qsizetype start = pdf.lastIndexOf("startxref");
    if (trailer < 0 || start < trailer)
        return pdf;
    const QByteArray tail = pdf.mid(trailer);
    static const QRegularExpression size(QStringLiteral("/Size\\s+(\\d+)"));
    static const QRegularExpression root(QStringLiteral("/Root\\s+(\\d+\\s+\\d+\\s+R)"));
    static const QRegularExpression xref(QStringLiteral("startxref\\s+(\\d+)"));
    const QString text = QString::fromLatin1(tail);
    const QRegularExpressionMatch sizeMatch = size.match(text);
    const QRegularExpressionMatch rootMatch = root.match(text);
    const QRegularExpressionMatch xrefMatch = xref.match(text);
    if (!sizeMatch.hasMatch() || !rootMatch.hasMatch() || !xrefMatch.hasMatch())
        return pdf;
    const int object = sizeMatch.captured(1).toInt();
    QByteArray out = pdf;
    if (!out.endsWith('\n'))
        out += '\n';
    const qsizetype objectOffset = out.size();
    out += QByteArray::number(object) + " 0 obj\n<<\n/Title " + PdfText(info.Title) + "\n/Author "
        + PdfText(info.Author) + "\n/Creator " + PdfText(info.Creator) + "\n/Producer " + PdfText(info.Creator)
        + "\n>>\nendobj\n";
    const qsizetype xrefOffset = out.size();
    out += "xref\n" + QByteArray::number(object) + " 1\n" + QByteArray::number(objectOffset).rightJustified(10, '0')
        + " 00000 n \n";
    out += "trailer\n<<\n/Size " + QByteArray::number(object + 1) + "\n/Root " + rootMatch.captured(1).toLatin1()
        + "\n/Info " + QByteArray::number(object) + " 0 R\n/Prev " + xrefMatch.captured(1).toLatin1()
        + "\n>>\nstartxref\n" + QByteArray::number(xrefOffset) + "\n%%EOF\n";
    return out;
}

QByteArray SelfContainedHtml(TRenderDocument& document, const QString& title)
{
    // Every picture left is the message's own (TRenderDocument::KeepOwnContent dropped the others): each becomes a
    // data: address of its bytes.
    struct TEdit {
        int Position;
        int Length;
        QTextImageFormat Format;
    };
    std::vector<TEdit> edits;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            if (!fragment.charFormat().isImageFormat())
                continue;
            const QString name = image.name();
            QByteArray address;
            if (name.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
                address = DataPictureAsPng(document, name);
            else if (document.HasOwnPicture(name))
                address = "data:" + document.PictureMime(name) + ";base64," + document.PictureBytes(name).toBase64();
            image.setName(QString::fromLatin1(address));
            edits.push_back({ fragment.position(), fragment.length(), image });
        }
    }
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
        cursor.setPosition(it->Position);
        cursor.setPosition(it->Position + it->Length, QTextCursor::KeepAnchor);
        if (it->Format.name().isEmpty())
            cursor.removeSelectedText();
        else
            cursor.setCharFormat(it->Format);
    }
    cursor.endEditBlock();
    document.setMetaInformation(QTextDocument::DocumentTitle, title);

    QString html = document.toHtml();
    // HTML 5: its own doctype in place of HTML 4's (which names a address of the W3C), and the charset declared.
    static const QRegularExpression doctype(
        QStringLiteral("^<!DOCTYPE[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    html.replace(doctype, QStringLiteral("<!DOCTYPE html>"));
    if (!html.contains(QLatin1String("charset="), Qt::CaseInsensitive))
        html.replace(QLatin1String("<head>"), QLatin1String("<head><meta charset=\"utf-8\" />"));
    // Background pictures of tables, cells and frames, which the writer gives as attributes or in the style.
    static const QRegularExpression background(QStringLiteral(" background=\"[^\"]*\""));
    static const QRegularExpression backgroundStyle(
        QStringLiteral("background-image:\\s*url\\([^)]*\\);?"), QRegularExpression::CaseInsensitiveOption);
    html.remove(background);
    html.remove(backgroundStyle);
    // The writer gives a list item's own style and its block's as two attributes; HTML 5 keeps only the first.
    static const QRegularExpression twoStyles(
        QStringLiteral(" style=\"([^\"]*)\"((?: [a-z-]+=\"[^\"]*\")*) style=\"([^\"]*)\""));
    html.replace(twoStyles, QStringLiteral(" style=\"\\1\\3\"\\2"));
    // Characters HTML 5 does not allow in a document (controls, non-characters) from a message's text.
    static const QRegularExpression forbidden(
        QStringLiteral("[\\x{0}-\\x{8}\\x{B}\\x{E}-\\x{1F}\\x{7F}-\\x{9F}\\x{FDD0}-\\x{FDEF}\\x{FFFE}\\x{FFFF}]"));
    html.replace(forbidden, QString(QChar::ReplacementCharacter));
    // Last, every address the writer put out is one of those the file may hold; the writer quotes each value with
    // '"' and writes '"' inside one as "&quot;".
    static const QRegularExpression address(QStringLiteral("\\b(src|href)=\"([^\"]*)\""));
    QString checked;
    qsizetype done = 0;
    for (auto it = address.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString value = m.captured(2);
        const bool source = m.captured(1) == QLatin1String("src");
        const bool allowed = source ? value.startsWith(QLatin1String("data:image/")) : IsKeptLinkTarget(value);
        checked += QStringView(html).mid(done, m.capturedStart() - done);
        checked += allowed ? m.captured(0) : QString();
        done = m.capturedEnd();
    }
    checked += QStringView(html).mid(done);
    return checked.toUtf8();
}

void SaveRenderedMessage(const pelmsg::TMSGProperties& message, const TRenderOptions& options,
    const std::string& fileName, bool pdf, const std::string& openFile, const QPageSize& pageSize)
{
    if (IsSameFile(fileName, openFile))
        throw ESameFile(fileName);
    pelmsg::TSaveOptions save;
    if (auto id = pelmsg::TFileIdentity::Of(openFile))
        save.Protected.push_back(*id);
    const std::unique_ptr<TRenderDocument> document = RenderMessage(message, options);
    const QString subject = QString::fromStdU16String(message.Subject());
    QByteArray bytes;
    if (pdf) {
        TPdfInfo info;
        info.Title = subject;
        info.Author = QString::fromStdU16String(message.From());
        info.Creator = QStringLiteral("Tessaly %1").arg(QLatin1String(kTessalyVersion));
        info.PageSize = pageSize;
        bytes = RenderPdf(*document, info);
    } else {
        bytes = SelfContainedHtml(*document, subject);
    }
    pelmsg::SaveThroughTemporaryFile(
        fileName, [&](pelmsg::TStream& out) { out.Write(bytes.constData(), size_t(bytes.size())); }, save);
}

} // namespace quorra
