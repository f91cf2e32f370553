#include "document_saver.h"

#include <QtConcurrent/QtConcurrentRun>

#include "open_document.h"
#include "pelmsg.h"
#include "qt_glue.h"
#include "save_formats.h"
#include "worker_pool.h"

namespace quorra {

TDocumentSaver::TDocumentSaver(std::shared_ptr<const TOpenDocument> document, QObject* parent)
    : QObject(parent)
    , document_(std::move(document))
    , control_(std::make_shared<pelmsg::TSaveControl>())
{
}

TDocumentSaver::~TDocumentSaver()
{
    // The worker holds the document and the control itself; it stops at its next write.
    control_->Cancelled = true;
}

qint64 TDocumentSaver::Written() const { return control_->Written.load(); }

void TDocumentSaver::Start(
    const QString& fileName, const QString& extension, bool withProperties, const QString& openFile)
{
    if (running_ || watcher_)
        return;
    running_ = true;
    fileName_ = fileName;
    watcher_ = new QFutureWatcher<TSaveOutcome>(this);
    connect(watcher_, &QFutureWatcherBase::finished, this, [this] {
        const TSaveOutcome outcome = watcher_->result();
        emit WorkerEnded();
        if (!running_)
            return; // cancelled: Finished has come already
        running_ = false;
        emit Finished(outcome);
    });
    watcher_->setFuture(QtConcurrent::run(DocumentWorkers(),
        [document = document_, control = control_, fileName, target = S(fileName), format = S(extension),
            withProperties, source = S(openFile)] {
            TSaveOutcome outcome;
            outcome.FileName = fileName;
            const pelmsg::TSaveControlScope scope(*control);
            try {
                SaveInFormat(document->Message(), target, format, withProperties, source, &outcome.Warnings);
            } catch (const ESameFile&) {
                outcome.SameFile = true;
            } catch (const pelmsg::ESaveCancelled&) {
                outcome.Cancelled = true;
            } catch (const std::exception& e) {
                outcome.Error = QString::fromUtf8(e.what());
            }
            return outcome;
        }));
}

void TDocumentSaver::Cancel()
{
    if (!running_)
        return;
    control_->Cancelled = true;
    running_ = false;
    TSaveOutcome outcome;
    outcome.FileName = fileName_;
    outcome.Cancelled = true;
    emit Finished(outcome);
}

} // namespace quorra
