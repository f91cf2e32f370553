// The main window's reading of large files in a worker: the window keeps showing (and answering for) the
// document it has, a progress dialog with Cancel shows once the read passes half a second, and the new document
// replaces the old one only when it is in. Cancel leaves the old document as it was.

#include <QFileInfo>

#include "document_loader.h"
#include "main_window.h"
#include "open_document.h"
#include "program_texts.h"
#include "work_progress.h"

namespace quorra {

bool TfrmMain::Loading() const { return loader_ && loader_->Running(); }

bool TfrmMain::OpenInBackground(const QString& path, size_t tnefPart)
{
    // A newer request replaces a read still running, whichever way the new file is read.
    CancelBackgroundLoad();
    // Only regular files are read in a worker: a missing one, a folder or a device fails at once.
    const QFileInfo info(path);
    if (!info.isFile() || info.size() < backgroundWorkBytes_)
        return false;
    if (!loader_) {
        loader_ = new TDocumentLoader(this);
        connect(loader_, &TDocumentLoader::Loaded, this, &TfrmMain::BackgroundLoaded);
    }
    loader_->Start(path, tnefPart);
    loadProgress_ = new TWorkProgress(this, strOpeningFile.Arg(info.fileName()));
    connect(loadProgress_, &QProgressDialog::canceled, this, &TfrmMain::CancelBackgroundLoad);
    return true;
}

void TfrmMain::CancelBackgroundLoad()
{
    if (loader_)
        loader_->Cancel();
    if (loadProgress_) {
        // Cancel may come from inside the dialog's own signal: it goes once that has returned.
        loadProgress_->hide();
        loadProgress_->deleteLater();
        loadProgress_ = nullptr;
    }
}

void TfrmMain::BackgroundLoaded(const QString& path)
{
    std::unique_ptr<TOpenDocument> document = loader_->TakeDocument();
    CancelBackgroundLoad();
    if (!document)
        return;
    BeginOpen(path);
    ShowDocument(std::move(document));
}

} // namespace quorra
