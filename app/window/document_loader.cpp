#include "document_loader.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "open_document.h"
#include "worker_pool.h"

namespace quorra {

namespace {

// Frees a document in a worker: a large message takes a while to free, and the window waits for none of it.
void FreeInWorker(std::shared_ptr<TOpenDocument> document)
{
    if (document)
        DocumentWorkers()->start([document = std::move(document)]() mutable { document.reset(); });
}

} // namespace

TDocumentLoader::TDocumentLoader(QObject* parent)
    : QObject(parent)
{
}

TDocumentLoader::~TDocumentLoader()
{
    // Reads still running end in their workers; the futures free what they read.
    Cancel();
    FreeInWorker(std::move(loaded_));
}

void TDocumentLoader::Start(const QString& path, size_t tnefPart)
{
    Cancel();
    path_ = path;
    auto* watcher = new QFutureWatcher<TResult>(this);
    current_ = watcher;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path] { Ended(watcher, path); });
    watcher->setFuture(QtConcurrent::run(
        DocumentWorkers(), [path, tnefPart] { return std::make_shared<TOpenDocument>(path, tnefPart); }));
}

void TDocumentLoader::Cancel()
{
    current_ = nullptr;
    path_.clear();
}

void TDocumentLoader::Ended(QFutureWatcher<TResult>* watcher, const QString& path)
{
    TResult document = watcher->result();
    // The future keeps its own reference to the result, freed with the watcher.
    watcher->disconnect(this);
    watcher->deleteLater();
    if (watcher != current_) {
        FreeInWorker(std::move(document));
        emit Discarded(path);
        return;
    }
    current_ = nullptr;
    path_.clear();
    FreeInWorker(std::move(loaded_));
    loaded_ = std::move(document);
    emit Loaded(path);
}

std::unique_ptr<TOpenDocument> TDocumentLoader::TakeDocument()
{
    // The window owns its document alone: the loader hands over the one reference it holds.
    if (!loaded_)
        return nullptr;
    auto* raw = new TOpenDocument(std::move(*loaded_));
    loaded_.reset();
    return std::unique_ptr<TOpenDocument>(raw);
}

} // namespace quorra
