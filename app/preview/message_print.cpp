// Printing the preview: the message rendered as the preview shows it (header fields, importance line, the body of
// the tab shown with the message's own pictures and no others, the attachments), the same rendering PDF files and
// the self-contained web page are made of.

#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTabWidget>
#include <QTextDocument>

#include "message_preview.h"
#include "message_render.h"
#include "pelmsg.h"
#include "print_job.h"
#include "program_texts.h"
#include "qt_glue.h"
#include "work_progress.h"

namespace quorra {

TRenderOptions TfrmMessage::PrintOptions() const
{
    TRenderOptions options;
    QWidget* tab = pcBody_->currentWidget();
    options.Body = tab == tsHTMLBody_ ? TRenderBody::Html
        : tab == tsRTFBody_           ? TRenderBody::RichText
                                      : TRenderBody::Plain;
    // The captions as the header shows them, in the language in use.
    auto caption = [this](QLineEdit* field, QString& text) {
        if (const QLabel* label = rowLabels_.value(field))
            text = label->text();
    };
    caption(edFrom_, options.Texts.From);
    caption(edTo_, options.Texts.To);
    caption(edCC_, options.Texts.CC);
    caption(edBCC_, options.Texts.BCC);
    caption(edSubject_, options.Texts.Subject);
    caption(edWhen_, options.Texts.When);
    caption(edWhere_, options.Texts.Where);
    return options;
}

std::unique_ptr<QTextDocument> TfrmMessage::CreatePrintDocument() const
{
    auto document = std::make_unique<TRenderDocument>();
    FillPrintDocument(*document);
    return document;
}

void TfrmMessage::FillPrintDocument(QTextDocument& document) const
{
    if (!properties_) {
        document.clear();
        return;
    }
    FillRenderedMessage(document, *properties_, PrintOptions());
}

void TfrmMessage::SetPrinterDocument(QPrinter& printer) const
{
    // The subject, made a safe file name, names the print job and a PDF printed to file (its title, and the name
    // the print dialog proposes instead of "print.pdf").
    if (properties_) {
        const QString subject = Q(properties_->Subject());
        printer.setDocName(Q(pelmsg::SafeFileName(S(subject), "message")));
    }
}

void TfrmMessage::Print(QPrinter& printer) const { CreatePrintDocument()->print(&printer); }

void TfrmMessage::PrintWithDialog()
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    SetPrinterDocument(*printer);
    QPrintDialog dialog(printer.get(), this);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    if (dialog.exec() == QDialog::Accepted)
        StartPrint(std::move(printer));
}

void TfrmMessage::StartPrint(std::unique_ptr<QPrinter> printer)
{
    if (!properties_ || !messageKeeper_) {
        Print(*printer);
        emit PrintEnded(true, false);
        return;
    }
    auto* job = new TPrintJob(std::move(printer), *properties_, PrintOptions(), messageKeeper_, this);
    auto* progress = new TWorkProgress(this, strPrintingMessage.Arg(edSubject_->text()));
    connect(progress, &QProgressDialog::canceled, job, &TPrintJob::Cancel);
    connect(job, &TPrintJob::Finished, this, [this, progress](bool printed, bool cancelled, const QString& error) {
        // Finished may come from inside the dialog's own Cancel signal: the dialog goes once that has returned.
        progress->hide();
        progress->deleteLater();
        if (!error.isEmpty())
            ShowError(error);
        emit PrintEnded(printed, cancelled);
    });
    // The job goes when its worker has ended: until then the worker uses its printer.
    connect(job, &TPrintJob::WorkerEnded, job, &QObject::deleteLater);
    job->Start();
}

void TfrmMessage::PrintPreview()
{
    QPrinter printer(QPrinter::HighResolution);
    SetPrinterDocument(printer);
    QPrintPreviewDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("PrintPreviewDialog"));
    dialog.resize(800, 700);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { Print(*p); });
    dialog.exec();
}

} // namespace quorra
