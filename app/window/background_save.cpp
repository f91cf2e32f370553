// The main window's saving in a worker: a message read from a large file is written off the UI thread, behind a
// progress dialog that shows the bytes written and can cancel. Cancel closes the dialog at once; the worker stops
// at its next write and removes its temporary file, so the target is either the whole new file or what it was.

#include <QFileInfo>
#include <QLocale>
#include <QTimer>

#include "document_saver.h"
#include "main_window.h"
#include "open_document.h"
#include "program_texts.h"
#include "work_progress.h"

namespace quorra {

bool TfrmMain::SaveInBackground(const QString& fileName, const QString& extension)
{
    if (!document_ || QFileInfo(document_->Path()).size() < backgroundWorkBytes_)
        return false;
    auto* saver = new TDocumentSaver(document_, this);
    auto* progress = new TWorkProgress(this, strSavingFile.Arg(QFileInfo(fileName).fileName()));
    auto* ticker = new QTimer(progress);
    connect(ticker, &QTimer::timeout, progress, [saver, progress, fileName] {
        progress->setLabelText(strSavingFile.Arg(QFileInfo(fileName).fileName()) + u'\n'
            + strSaveWritten.Arg(QLocale().toString(double(saver->Written()) / (1024 * 1024), 'f', 1)));
    });
    ticker->start(100);
    connect(progress, &QProgressDialog::canceled, saver, &TDocumentSaver::Cancel);
    connect(saver, &TDocumentSaver::Finished, this, [this, progress](const TSaveOutcome& outcome) {
        // Finished may come from inside the dialog's own Cancel signal: the dialog goes once that has returned.
        progress->hide();
        progress->deleteLater();
        ReportSave(outcome);
    });
    // The saver goes when its worker has ended, not before: until then it holds the document for it.
    connect(saver, &TDocumentSaver::WorkerEnded, saver, &QObject::deleteLater);
    saver->Start(fileName, extension, settings_.SaveMode == TSaveMode::AllProperties, LoadedFileName());
    return true;
}

} // namespace quorra
