#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmsg {

// The longest file name the file systems we write to accept, in bytes.
inline constexpr size_t kMaxFileNameBytes = 255;

enum class TSeekOrigin { Beginning = 0, Current = 1, End = 2 };

// A byte stream with a position and a size, read and written in place. Readers take one, writers write to one;
// the caller owns it. Read returns fewer bytes than asked only at the end; Write raises on failure.
class TStream {
public:
    virtual ~TStream() = default;

    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Moves the position and returns the new one; positions below 0 are clamped to 0.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size() const = 0;
    virtual int64_t Position() const = 0;

    // Bytes between the position and the end (0 when the position is beyond the end).
    int64_t Remaining() const;
    // Writes all bytes or raises.
    void WriteBuffer(const void* buffer, size_t count);
    void WriteString(std::string_view bytes) { WriteBuffer(bytes.data(), bytes.size()); }
    // Reads up to count bytes and returns them; fewer at the end of the stream.
    std::string ReadString(size_t count);
    // Copies everything from the position to the end into another stream; returns the byte count.
    int64_t CopyTo(TStream& target);
};

// A file opened for reading or created for writing; closed by the destructor. Reads are buffered so that the
// readers' many small reads cost no system call each.
class TFileStream final : public TStream {
public:
    enum class Mode { OpenRead, Create };
    // Raises EFileError ("File %s is not found." or "Cannot create file %s") when the file cannot be opened.
    TFileStream(const std::string& fileName, Mode mode);
    // Takes over a descriptor opened for writing; errors name the file as `displayName`. A sequential stream (a
    // FIFO, a device, standard output) writes in order with write(2) and cannot go back to rewrite.
    TFileStream(int fd, std::string displayName, bool sequential);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override;
    int64_t Position() const override { return position_; }

    // Flushes and closes; raises when the data could not be written completely.
    void Close();
    // Flushes and asks the system to put the data on the disk.
    void Sync();
    const std::string& FileName() const { return fileName_; }
    int Descriptor() const { return fd_; }

private:
    void FlushWrite();
    void PwriteAll(const char* data, size_t count, int64_t at);
    std::string fileName_;
    int fd_ = -1;
    bool sequential_ = false;
    int64_t sequentialEnd_ = 0; // bytes a sequential stream has written
    int64_t position_ = 0; // logical position
    int64_t size_ = 0; // size known so far (updated by writes)
    // Read buffer: bytes [bufStart_, bufStart_ + bufLen_) of the file.
    std::string buffer_;
    int64_t bufStart_ = 0;
    size_t bufLen_ = 0;
    std::string writeBuffer_;
    int64_t writeStart_ = 0;
};

// A file's identity: two paths name the same file (through hard or symbolic links) exactly when device and inode
// are equal.
struct TFileIdentity {
    uint64_t Device = 0;
    uint64_t Inode = 0;

    // The identity of the file a path names (following symbolic links); nothing when there is no such file.
    static std::optional<TFileIdentity> Of(const std::string& path);
    bool operator==(const TFileIdentity&) const = default;
};

// What a save must respect besides the target's name.
struct TSaveOptions {
    // Files the output must never replace, such as the file a message was read from: a target that is one of
    // them is refused with EFileError "Cannot create file %s: it is the file being read".
    std::vector<TFileIdentity> Protected;
};

// A save run in a worker thread, watched and cancelled from another: while a TSaveControlScope lives, every
// TSafeFileStream its thread writes counts its bytes in Written and looks at Cancelled before each write and
// before its commit; once Cancelled is set, that write raises ESaveCancelled, the temporary file is removed, and
// the target stays as it was.
struct TSaveControl {
    std::atomic<bool> Cancelled { false };
    std::atomic<int64_t> Written { 0 };
};

class TSaveControlScope {
public:
    explicit TSaveControlScope(TSaveControl& control);
    ~TSaveControlScope();
    TSaveControlScope(const TSaveControlScope&) = delete;
    TSaveControlScope& operator=(const TSaveControlScope&) = delete;
    // Raises ESaveCancelled when the current thread's save was cancelled; counts `bytes` as written otherwise.
    static void Check(size_t bytes);

private:
    TSaveControl* previous_;
};

// The one way every output is written (SaveThroughTemporaryFile wraps it). The target is the name the user gave:
// - a regular file or a new name: the data goes to a temporary file beside it (created once with O_EXCL and
//   O_NOFOLLOW, its descriptor kept), which Commit renames over the target, keeping the target's permissions; a
//   stream destroyed without Commit, a failure or SIGINT/SIGTERM removes the temporary file, and the target stays
//   as it was;
// - a symbolic link: the file it points to is replaced that way, the link stays;
// - a FIFO, a character or block device, or "-" (standard output): written in place, in order, without rename;
// - a folder, an empty name or a protected file: refused.
// Every error names the target as given, never the temporary file.
class TSafeFileStream final : public TStream {
public:
    explicit TSafeFileStream(const std::string& fileName, const TSaveOptions& options = {});
    ~TSafeFileStream() override;
    TSafeFileStream(const TSafeFileStream&) = delete;
    TSafeFileStream& operator=(const TSafeFileStream&) = delete;

    size_t Read(void* buffer, size_t count) override { return file_->Read(buffer, count); }
    size_t Write(const void* buffer, size_t count) override
    {
        TSaveControlScope::Check(count);
        return file_->Write(buffer, count);
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override { return file_->Seek(offset, origin); }
    int64_t Size() const override { return file_->Size(); }
    int64_t Position() const override { return file_->Position(); }

    // Writes out what is buffered; for a regular file then moves the temporary file into place. Raises on failure.
    // The data is flushed to the disk before the rename when the rename replaces an existing file.
    void Commit();
    // Whether Commit flushed the data to the disk before the rename (it replaced a file).
    bool SyncedBeforeRename() const { return synced_; }

private:
    void RemoveTemporary();
    std::string fileName_; // as the user gave it
    std::string realName_; // the file replaced: fileName_ with symbolic links followed
    std::string tempName_; // empty when writing in place
    int tempSlot_ = -1; // the temporary file's place in the list removed on a signal
    std::unique_ptr<TFileStream> file_;
    bool committed_ = false;
    bool synced_ = false;
};

// A stream over bytes held in memory, which it owns.
class TMemoryStream final : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes)
        : data_(std::move(bytes))
    {
    }

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
    int64_t Position() const override { return position_; }

    const std::string& Bytes() const { return data_; }
    std::string TakeBytes();
    void Clear();

private:
    std::string data_;
    int64_t position_ = 0;
};

// A read-only stream over bytes someone else owns (fuzzers, nested streams inside a value).
class TSpanStream final : public TStream {
public:
    TSpanStream(const void* data, size_t size)
        : data_(static_cast<const unsigned char*>(data))
        , size_(size)
    {
    }
    explicit TSpanStream(std::string_view bytes)
        : TSpanStream(bytes.data(), bytes.size())
    {
    }

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override { return static_cast<int64_t>(size_); }
    int64_t Position() const override { return position_; }

private:
    const unsigned char* data_;
    size_t size_;
    int64_t position_ = 0;
};

// The next `length` bytes of another stream, seen as a stream of their own (clamped to what the base holds).
// Reading it moves the base stream forward; seeking stays inside the window.
class TWindowStream final : public TStream {
public:
    TWindowStream(TStream& base, int64_t length);

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override { return length_; }
    int64_t Position() const override { return base_.Position() - start_; }

private:
    TStream& base_;
    int64_t start_;
    int64_t length_;
};

// The one way every output of the library and the application is saved: writes `fileName` through a
// TSafeFileStream (see there: temporary file and rename, links followed, FIFOs, devices and "-" for standard output
// written in place, protected files refused) and commits it once `write` returned. Raises EFileError "Cannot
// create file %s" (with the reason) when the file cannot be created (also for an empty name or a folder) and
// "Cannot write file %s" when writing fails; the writer's exceptions pass unchanged, and the target stays as it was.
void SaveThroughTemporaryFile(
    const std::string& fileName, const std::function<void(TStream&)>& write, const TSaveOptions& options = {});

} // namespace pelmsg
