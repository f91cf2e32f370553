#pragma once

// Saves the open document in a worker, in the format its target's extension names (quorra::SaveInFormat). The
// worker writes through a temporary file beside the target, as every save does; Cancel ends the save at once
// from the window's view, and the worker then stops at its next write, removes the temporary file and leaves
// the target as it was.

#include <memory>
#include <string>
#include <vector>

#include <QFutureWatcher>
#include <QObject>
#include <QString>

namespace pelmsg {
struct TSaveControl;
}

namespace quorra {

class TOpenDocument;

struct TSaveOutcome {
    QString FileName;
    bool Cancelled = false;
    bool SameFile = false; // the target is the file that is open (ESameFile)
    QString Error; // the writer's reason, when it failed
    std::vector<std::string> Warnings; // what a calendar file left out
};

class TDocumentSaver : public QObject {
    Q_OBJECT

public:
    // The saver keeps the document alive until its worker has ended, whatever the window does meanwhile.
    TDocumentSaver(std::shared_ptr<const TOpenDocument> document, QObject* parent = nullptr);
    // Cancels a save still running.
    ~TDocumentSaver() override;

    // extension: upper case with the dot (".HTM"); openFile: the file the document was read from.
    void Start(const QString& fileName, const QString& extension, bool withProperties, const QString& openFile);
    // Finished comes at once with Cancelled set; the worker ends on its own (WorkerEnded).
    void Cancel();
    bool Running() const { return running_; }
    // The bytes the worker has written so far.
    qint64 Written() const;

signals:
    void Finished(const quorra::TSaveOutcome& outcome);
    // The worker has returned; after a cancel, its temporary file is gone.
    void WorkerEnded();

private:
    std::shared_ptr<const TOpenDocument> document_;
    std::shared_ptr<pelmsg::TSaveControl> control_;
    QFutureWatcher<TSaveOutcome>* watcher_ = nullptr;
    QString fileName_;
    bool running_ = false;
};

} // namespace quorra
