// Printing the preview: the header fields, the importance line and the body of the tab shown, with the message's
// own pictures and no others.

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QUrl>

#include "message_preview.h"
#include "message_preview_parts.h"
#include "pelmsg.h"
#include "qt_glue.h"

namespace quorra {

namespace {

// The document printed: it shows only the pictures given to it (the message's own attachments by content id and
// file name, the rich-text tab's pictures) and data: addresses inside the body. Any other address a body names,
// a local file ("/dev/zero", "file:///home/.../secret.png", a FIFO), a relative path or a network address, gives
// an empty picture or style sheet: QTextDocument would read local files for it, and Qt's picture handler opens
// the name as a file itself whenever the document gives it no picture.
class TPrintDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int type, const QUrl& name) override
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
};

} // namespace

std::unique_ptr<QTextDocument> TfrmMessage::CreatePrintDocument() const
{
    auto document = std::make_unique<TPrintDocument>();
    FillPrintDocument(*document);
    return document;
}

void TfrmMessage::FillPrintDocument(QTextDocument& document) const
{
    // The header fields as a table, then the body of the tab shown.
    QString html = QStringLiteral("<table cellspacing=0 cellpadding=2>");
    auto row = [&html](const QLabel* label, const QString& value) {
        if (label && label->isVisibleTo(label->parentWidget()) && !value.isEmpty())
            html += QStringLiteral("<tr><td align=right><b>%1</b></td><td>%2</td></tr>")
                        .arg(label->text().toHtmlEscaped(), value.toHtmlEscaped());
    };
    auto label = [this](const char* name) { return pnlHeader_->findChild<QLabel*>(QLatin1String(name)); };
    row(label("lblFrom"),
        edFrom_->text() + (edSent_->text().isEmpty() ? QString() : QStringLiteral("   ") + edSent_->text()));
    row(label("lblTo"), edTo_->text());
    row(label("lblCC"), edCC_->text());
    row(label("lblBCC"), edBCC_->text());
    row(label("lblSubject"), edSubject_->text());
    row(label("lblWhen"), edWhen_->text());
    row(label("lblWhere"), edWhere_->text());
    html += QStringLiteral("</table>");
    if (lblImportance_->isVisibleTo(const_cast<TfrmMessage*>(this)))
        html += QStringLiteral("<p><b>%1</b></p>").arg(lblImportance_->text().trimmed().toHtmlEscaped());
    html += QStringLiteral("<hr>");
    // Inline pictures of the HTML body, by content id and by file name, as the web view finds them.
    if (properties_) {
        for (int i = 0; i < properties_->AttachmentCount(); ++i) {
            const pelmsg::TMSGProperty* node = properties_->Attachments(i);
            if (!node)
                continue;
            QImage image;
            try {
                const std::string bytes = AttachmentBytes(*properties_, i);
                if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), int(bytes.size())))
                    continue;
            } catch (const std::exception&) {
                continue;
            }
            QString id
                = Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachContentId, 0), true, true))
                      .trimmed();
            if (id.isEmpty())
                id = Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(0x0008, 0), true, true)).trimmed();
            if (id.startsWith(QLatin1Char('<')) && id.endsWith(QLatin1Char('>')))
                id = id.mid(1, id.size() - 2);
            if (!id.isEmpty())
                document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("cid:") + id), image);
            const QString name
                = Q(node->SubProperties.GetPropertyText(pelmsg::MakeTag(pelmsg::kIdAttachFileName, 0), true, true));
            if (!name.isEmpty())
                document.addResource(QTextDocument::ImageResource, QUrl(name), image);
        }
    }
    QWidget* tab = pcBody_->currentWidget();
    if (tab == tsRTFBody_) {
        // The rich-text tab's pictures are resources of its document: the printed one gets them too.
        const QTextDocument* shown = reRTFBody_->document();
        for (QTextBlock block = shown->begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (const QTextCharFormat f = it.fragment().charFormat(); f.isImageFormat()) {
                    const QUrl name(f.toImageFormat().name());
                    document.addResource(
                        QTextDocument::ImageResource, name, shown->resource(QTextDocument::ImageResource, name));
                }
        html += shown->toHtml();
    } else if (tab == tsHTMLBody_) {
        html += html_;
    } else {
        html += QStringLiteral("<pre style=\"white-space: pre-wrap\">%1</pre>")
                    .arg(reBody_->toPlainText().toHtmlEscaped());
    }
    document.setHtml(html);
}

void TfrmMessage::Print(QPrinter& printer) const { CreatePrintDocument()->print(&printer); }

void TfrmMessage::PrintWithDialog()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    if (dialog.exec() == QDialog::Accepted)
        Print(printer);
}

void TfrmMessage::PrintPreview()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("PrintPreviewDialog"));
    dialog.resize(800, 700);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { Print(*p); });
    dialog.exec();
}

} // namespace quorra
