#pragma once

// The open document: the file the window shows, read once when it is opened. The window and its pages take the
// path, the message, its warnings and (for a compound .msg file) the storage from here, never from the file-name
// box, whose text the user may have edited since.

#include <memory>
#include <vector>

#include <QString>

namespace pelmsg {
class IStorage;
class TPelMessage;
struct TReadWarning;
}

namespace quorra {

class TOpenDocument {
public:
    // Reads the file. A file that cannot be read still gives a document: LoadError says why, and the message holds
    // what was read of it, so that the pages show what there is. For a mail file, tnefPart chooses which of its TNEF
    // parts (pelmsg::ListTnefCandidates) is shown; other files ignore it.
    explicit TOpenDocument(const QString& path, size_t tnefPart = 0);
    ~TOpenDocument();
    TOpenDocument(const TOpenDocument&) = delete;
    TOpenDocument& operator=(const TOpenDocument&) = delete;
    // Moved once, from the worker that read it to the window.
    TOpenDocument(TOpenDocument&&) noexcept;

    const QString& Path() const { return path_; }
    pelmsg::TPelMessage& Message() const { return *message_; }
    const std::vector<pelmsg::TReadWarning>& Warnings() const;
    // Why the message could not be read; empty when it was.
    const QString& LoadError() const { return loadError_; }
    // The root storage of a compound file, opened with the message; nullptr for any other file, and when it could
    // not be opened (StorageError says why).
    pelmsg::IStorage* Storage() const { return storage_.get(); }
    const QString& StorageError() const { return storageError_; }

private:
    QString path_;
    std::unique_ptr<pelmsg::TPelMessage> message_;
    QString loadError_;
    std::unique_ptr<pelmsg::IStorage> storage_;
    QString storageError_;
};

} // namespace quorra
