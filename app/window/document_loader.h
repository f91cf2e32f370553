#pragma once

// Reads documents off the UI thread. The message library's readers are synchronous and cannot be stopped, so a
// cancelled read goes on in its worker; its result is freed there when it comes, and the window never sees it.

#include <memory>

#include <QFutureWatcher>
#include <QObject>
#include <QString>

namespace quorra {

class TOpenDocument;

class TDocumentLoader : public QObject {
    Q_OBJECT

public:
    explicit TDocumentLoader(QObject* parent = nullptr);
    ~TDocumentLoader() override;

    // Starts reading path (its TNEF part tnefPart, for a mail file) in a worker; a read still running is cancelled.
    void Start(const QString& path, size_t tnefPart = 0);
    // Drops the running read: Loaded does not come for it.
    void Cancel();
    bool Running() const { return current_ != nullptr; }
    // The path of the running read; empty when none runs.
    const QString& Path() const { return path_; }
    // The document the last Loaded announced (once; nullptr after).
    std::unique_ptr<TOpenDocument> TakeDocument();

signals:
    // A read has ended and was not cancelled: TakeDocument gives its document.
    void Loaded(const QString& path);
    // A cancelled read has ended in its worker, and its document was freed.
    void Discarded(const QString& path);

private:
    using TResult = std::shared_ptr<TOpenDocument>;
    void Ended(QFutureWatcher<TResult>* watcher, const QString& path);

    QFutureWatcher<TResult>* current_ = nullptr;
    QString path_;
    TResult loaded_;
};

} // namespace quorra
