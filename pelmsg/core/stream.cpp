#include "core/stream.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "core/errors.h"
#include "core/large_buffer.h"
#include "core/texts.h"

namespace pelmsg {

namespace {

constexpr size_t kReadBufferSize = size_t{64} * 1024;
constexpr size_t kWriteBufferSize = size_t{256} * 1024;
// A write at least this long goes straight to the file: copying it into the buffer first would cost more than the
// system call it saves (a mailbox filter writes runs of unchanged mails of this size from its read buffers).
constexpr size_t kDirectWriteSize = size_t { 64 } * 1024;

std::string OsReason() { return std::strerror(errno); }

int64_t ClampedTarget(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size)
{
    int64_t base = origin == TSeekOrigin::Beginning ? 0 : origin == TSeekOrigin::Current ? position : size;
    if (offset > 0 && base > INT64_MAX - offset)
        return INT64_MAX;
    int64_t target = base + offset;
    return target < 0 ? 0 : target;
}

} // namespace

int64_t TStream::Remaining() const
{
    int64_t rest = Size() - Position();
    return rest > 0 ? rest : 0;
}

void TStream::WriteBuffer(const void* buffer, size_t count)
{
    if (count == 0)
        return;
    if (Write(buffer, count) != count)
        throw EFileError("Stream write error");
}

std::string TStream::ReadString(size_t count)
{
    count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), Remaining()));
    std::string bytes = StringWithRoomFor(count);
    bytes.resize(count);
    size_t done = count ? Read(bytes.data(), count) : 0;
    bytes.resize(done);
    return bytes;
}

int64_t TStream::CopyTo(TStream& target)
{
    std::string block(kReadBufferSize, '\0');
    int64_t total = 0;
    for (;;) {
        size_t n = Read(block.data(), block.size());
        if (n == 0)
            break;
        target.WriteBuffer(block.data(), n);
        total += static_cast<int64_t>(n);
    }
    return total;
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& fileName, Mode mode)
    : fileName_(fileName)
{
    if (mode == Mode::OpenRead) {
        fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            if (errno == ENOENT)
                throw EFileError(FormatMessage(SFileNotFound, fileName));
            throw EFileError("Cannot open file " + fileName + ": " + OsReason());
        }
        struct stat st { };
        if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            throw EFileError(
                "Cannot open file " + fileName + ": " + (S_ISDIR(st.st_mode) ? "is a folder" : OsReason()));
        }
        size_ = st.st_size;
    } else {
        fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFileError(FormatMessage(SCannotCreateFile, fileName) + ": " + OsReason());
        size_ = 0;
    }
}

TFileStream::TFileStream(int fd, std::string displayName, bool sequential)
    : fileName_(std::move(displayName))
    , fd_(fd)
    , sequential_(sequential)
{
}

TFileStream::~TFileStream()
{
    try {
        Close();
    } catch (...) {
        // Destructors never throw; callers that care call Close() themselves.
    }
}

void TFileStream::Close()
{
    if (fd_ < 0)
        return;
    int fd = fd_;
    try {
        FlushWrite();
    } catch (...) {
        ::close(fd);
        fd_ = -1;
        throw;
    }
    fd_ = -1;
    if (::close(fd) != 0)
        throw EFileError("Cannot write file " + fileName_ + ": " + OsReason());
}

void TFileStream::PwriteAll(const char* data, size_t count, int64_t at)
{
    size_t done = 0;
    if (count == 0)
        return;
    if (sequential_) {
        // A pipe or device takes bytes in order only; a writer that goes back cannot be served.
        if (at != sequentialEnd_)
            throw EFileError("Cannot write file " + fileName_ + ": the output cannot go back to rewrite");
        while (done < count) {
            ssize_t n = ::write(fd_, data + done, count - done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw EFileError("Cannot write file " + fileName_ + ": " + OsReason());
            }
            done += static_cast<size_t>(n);
        }
        sequentialEnd_ += static_cast<int64_t>(count);
        return;
    }
    while (done < count) {
        ssize_t n = ::pwrite(fd_, data + done, count - done, static_cast<off_t>(at + static_cast<int64_t>(done)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EFileError("Cannot write file " + fileName_ + ": " + OsReason());
        }
        done += static_cast<size_t>(n);
    }
}

void TFileStream::FlushWrite()
{
    std::string pending;
    pending.swap(writeBuffer_);
    PwriteAll(pending.data(), pending.size(), writeStart_);
    pending.clear();
    writeBuffer_.swap(pending); // keep the buffer's memory for the next writes
}

void TFileStream::Sync()
{
    FlushWrite();
    if (fd_ >= 0 && ::fsync(fd_) != 0)
        throw EFileError("Cannot write file " + fileName_ + ": " + OsReason());
}

size_t TFileStream::Read(void* buffer, size_t count)
{
    if (fd_ < 0 || count == 0)
        return 0;
    if (!writeBuffer_.empty())
        FlushWrite();
    auto* out = static_cast<char*>(buffer);
    size_t total = 0;
    while (count > 0) {
        // Serve from the buffer when the position lies in it.
        if (position_ >= bufStart_ && position_ < bufStart_ + static_cast<int64_t>(bufLen_)) {
            size_t offset = static_cast<size_t>(position_ - bufStart_);
            size_t n = std::min(count, bufLen_ - offset);
            std::memcpy(out, buffer_.data() + offset, n);
            out += n;
            count -= n;
            total += n;
            position_ += static_cast<int64_t>(n);
            continue;
        }
        if (count >= kReadBufferSize) {
            // Large reads go straight into the caller's memory: a value is read once, not copied again.
            ssize_t n = ::pread(fd_, out, count, static_cast<off_t>(position_));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw EFileError("Cannot read file " + fileName_ + ": " + OsReason());
            }
            if (n == 0)
                break;
            out += n;
            count -= static_cast<size_t>(n);
            total += static_cast<size_t>(n);
            position_ += n;
            continue;
        }
        if (buffer_.size() != kReadBufferSize)
            buffer_.resize(kReadBufferSize);
        ssize_t n = ::pread(fd_, buffer_.data(), kReadBufferSize, static_cast<off_t>(position_));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EFileError("Cannot read file " + fileName_ + ": " + OsReason());
        }
        bufStart_ = position_;
        bufLen_ = static_cast<size_t>(n);
        if (n == 0)
            break;
    }
    return total;
}

size_t TFileStream::Write(const void* buffer, size_t count)
{
    if (fd_ < 0)
        throw EFileError("Cannot write file " + fileName_ + ": file is closed");
    if (count == 0)
        return 0;
    bufLen_ = 0; // the read buffer may now be stale
    if (!writeBuffer_.empty() && writeStart_ + static_cast<int64_t>(writeBuffer_.size()) != position_)
        FlushWrite();
    if (writeBuffer_.empty())
        writeStart_ = position_;
    if (writeBuffer_.size() + count > kWriteBufferSize || count >= kDirectWriteSize) {
        FlushWrite();
        writeStart_ = position_;
        if (count >= kDirectWriteSize) {
            // Large writes go straight to the file, without a copy.
            PwriteAll(static_cast<const char*>(buffer), count, position_);
            position_ += static_cast<int64_t>(count);
            size_ = std::max(size_, position_);
            return count;
        }
    }
    writeBuffer_.append(static_cast<const char*>(buffer), count);
    position_ += static_cast<int64_t>(count);
    size_ = std::max(size_, position_);
    return count;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    position_ = ClampedTarget(offset, origin, position_, Size());
    return position_;
}

int64_t TFileStream::Size() const { return size_; }

// ---- TSafeFileStream ----

namespace {

// The temporary file beside a target: the target's name and the suffix. A name that would then exceed what the
// file system takes is cut between whole UTF-8 characters, so that a target of the longest name can be written.
std::string TemporaryNameFor(const std::string& fileName, const std::string& suffix)
{
    const size_t slash = fileName.rfind('/');
    const size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
    std::string base = fileName.substr(baseStart);
    const size_t room = kMaxFileNameBytes - suffix.size();
    if (base.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80)
            --cut;
        base.resize(cut);
    }
    return fileName.substr(0, baseStart) + base + suffix;
}

// ---- Removal of temporary files on SIGINT and SIGTERM ----
//
// The names of the temporary files being written sit in fixed slots that a signal handler can read without
// allocating or locking: a slot is claimed, filled, then published; the handler removes every published file, puts
// the signal's previous handling back and raises the signal again, so the program ends as it would have.

struct TTemporarySlot {
    std::atomic<int> State { 0 }; // 0 free, 1 being filled or emptied, 2 published
    char Path[PATH_MAX] {};
};

std::array<TTemporarySlot, 64> gTemporarySlots;
struct sigaction gPreviousInt { };
struct sigaction gPreviousTerm { };

extern "C" void RemoveTemporariesOnSignal(int signal)
{
    for (TTemporarySlot& slot : gTemporarySlots)
        if (slot.State.load() == 2)
            ::unlink(slot.Path);
    ::sigaction(signal, signal == SIGINT ? &gPreviousInt : &gPreviousTerm, nullptr);
    ::raise(signal);
}

// Installs the handler once, for each signal whose handling is still the default: a program that handles or
// ignores the signal itself keeps its own choice.
void InstallSignalCleanup()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action { };
        action.sa_handler = RemoveTemporariesOnSignal;
        sigemptyset(&action.sa_mask);
        sigaddset(&action.sa_mask, SIGINT);
        sigaddset(&action.sa_mask, SIGTERM);
        action.sa_flags = static_cast<int>(SA_RESETHAND);
        for (auto [signal, previous] : { std::pair { SIGINT, &gPreviousInt }, std::pair { SIGTERM, &gPreviousTerm } }) {
            struct sigaction current { };
            if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL
                && !(current.sa_flags & SA_SIGINFO)) {
                *previous = current;
                ::sigaction(signal, &action, nullptr);
            }
        }
    });
}

// Publishes a temporary file's name for removal on a signal; -1 when every slot is taken or the name is too long
// (the file is then still removed on failure, only not on a signal).
int PublishTemporary(const std::string& path)
{
    InstallSignalCleanup();
    if (path.size() >= PATH_MAX)
        return -1;
    for (size_t i = 0; i < gTemporarySlots.size(); ++i) {
        int expected = 0;
        if (gTemporarySlots[i].State.compare_exchange_strong(expected, 1)) {
            std::memcpy(gTemporarySlots[i].Path, path.c_str(), path.size() + 1);
            gTemporarySlots[i].State.store(2);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void WithdrawTemporary(int slot)
{
    if (slot >= 0) {
        TTemporarySlot& entry = gTemporarySlots[static_cast<size_t>(slot)];
        entry.State.store(1);
        entry.Path[0] = '\0';
        entry.State.store(0);
    }
}

// The file a name stands for once symbolic links in its last component are followed (as far as they lead: a link
// to a file not yet there gives that file's name).
std::string FollowLinks(const std::string& fileName)
{
    std::string current = fileName;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st { };
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string target(static_cast<size_t>(PATH_MAX), '\0');
        ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size())
            throw EFileError(FormatMessage(SCannotCreateFile, fileName) + ": " + OsReason());
        target.resize(static_cast<size_t>(n));
        if (target[0] != '/') {
            const size_t slash = current.rfind('/');
            if (slash != std::string::npos)
                target = current.substr(0, slash + 1) + target;
        }
        current = target;
    }
    errno = ELOOP;
    throw EFileError(FormatMessage(SCannotCreateFile, fileName) + ": " + OsReason());
}

bool IsProtected(const struct stat& st, const TSaveOptions& options)
{
    const TFileIdentity identity { static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino) };
    return std::find(options.Protected.begin(), options.Protected.end(), identity) != options.Protected.end();
}

[[noreturn]] void RefuseProtected(const std::string& fileName)
{
    throw EFileError(FormatMessage(SCannotCreateFile, fileName) + ": it is the file being read");
}

} // namespace

std::optional<TFileIdentity> TFileIdentity::Of(const std::string& path)
{
    struct stat st { };
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return TFileIdentity { static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino) };
}

TSafeFileStream::TSafeFileStream(const std::string& fileName, const TSaveOptions& options)
    : fileName_(fileName)
{
    const std::string cannotCreate = FormatMessage(SCannotCreateFile, fileName);
    if (fileName.empty())
        throw EFileError(cannotCreate);
    if (fileName == "-") {
        // Standard output, written in place through a descriptor of its own (closing it leaves fd 1 open).
        struct stat st { };
        if (::fstat(STDOUT_FILENO, &st) == 0 && IsProtected(st, options))
            RefuseProtected("standard output");
        int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        if (fd < 0)
            throw EFileError("Cannot write to standard output: " + OsReason());
        file_ = std::make_unique<TFileStream>(fd, "standard output", true);
        return;
    }
    realName_ = FollowLinks(fileName);
    struct stat st { };
    if (::stat(realName_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw EFileError(cannotCreate + ": it is a folder");
        if (IsProtected(st, options))
            RefuseProtected(fileName);
        if (!S_ISREG(st.st_mode)) {
            // A FIFO or a device cannot be replaced by a renamed file: it is written in place.
            int fd = ::open(realName_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd < 0)
                throw EFileError(cannotCreate + ": " + OsReason());
            file_ = std::make_unique<TFileStream>(fd, fileName, true);
            return;
        }
    }
    std::random_device rd;
    for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
        char suffix[32];
        (void)std::snprintf(suffix, sizeof suffix, ".~%08x.tmp", static_cast<unsigned>(rd()));
        std::string candidate = TemporaryNameFor(realName_, suffix);
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            throw EFileError(cannotCreate + ": " + OsReason());
        }
        tempName_ = candidate;
        tempSlot_ = PublishTemporary(tempName_);
        file_ = std::make_unique<TFileStream>(fd, fileName, false);
    }
    if (!file_)
        throw EFileError(cannotCreate);
}

TSafeFileStream::~TSafeFileStream()
{
    if (!committed_)
        RemoveTemporary();
}

void TSafeFileStream::RemoveTemporary()
{
    try {
        file_.reset();
    } catch (...) {
    }
    if (!tempName_.empty())
        ::unlink(tempName_.c_str());
    WithdrawTemporary(tempSlot_);
    tempSlot_ = -1;
}

namespace {
// The save control of the current thread's save, when it runs under a TSaveControlScope.
thread_local TSaveControl* tSaveControl = nullptr;
} // namespace

TSaveControlScope::TSaveControlScope(TSaveControl& control)
    : previous_(std::exchange(tSaveControl, &control))
{
}

TSaveControlScope::~TSaveControlScope() { tSaveControl = previous_; }

void TSaveControlScope::Check(size_t bytes)
{
    if (!tSaveControl)
        return;
    if (tSaveControl->Cancelled.load(std::memory_order_relaxed))
        throw ESaveCancelled("The save was cancelled");
    tSaveControl->Written.fetch_add(static_cast<int64_t>(bytes), std::memory_order_relaxed);
}

void TSafeFileStream::Commit()
{
    // A cancelled save never reaches its target, however far its writer got.
    TSaveControlScope::Check(0);
    if (tempName_.empty()) {
        file_->Close();
        committed_ = true;
        return;
    }
    // Keep the permissions an existing target had; a new file gets the usual ones.
    struct stat st { };
    const bool replaces = ::stat(realName_.c_str(), &st) == 0;
    if (replaces)
        ::fchmod(file_->Descriptor(), st.st_mode & 07777);
    // When the rename replaces a file, the data reaches the disk before the name does, so that a crash never
    // leaves a short file where the user's previous one was. A new name replaces nothing: a crash can at worst
    // leave it short, as any program's new file, and not waiting for the disk there (a second for a gigabyte
    // mailbox) is what lets a save run at the speed of a copy.
    if (replaces) {
        file_->Sync();
        synced_ = true;
    }
    file_->Close();
    if (::rename(tempName_.c_str(), realName_.c_str()) != 0)
        throw EFileError(FormatMessage(SCannotCreateFile, fileName_) + ": " + OsReason());
    WithdrawTemporary(tempSlot_);
    tempSlot_ = -1;
    committed_ = true;
}

// ---- TMemoryStream ----

size_t TMemoryStream::Read(void* buffer, size_t count)
{
    if (position_ >= Size())
        return 0;
    size_t n = std::min(count, static_cast<size_t>(Size() - position_));
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += static_cast<int64_t>(n);
    return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count)
{
    if (count == 0)
        return 0;
    WriteAt(data_, static_cast<size_t>(position_), buffer, count);
    position_ += static_cast<int64_t>(count);
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    position_ = ClampedTarget(offset, origin, position_, Size());
    return position_;
}

std::string TMemoryStream::TakeBytes()
{
    std::string out = std::move(data_);
    data_.clear();
    position_ = 0;
    return out;
}

void TMemoryStream::Clear()
{
    data_.clear();
    position_ = 0;
}

// ---- TSpanStream ----

size_t TSpanStream::Read(void* buffer, size_t count)
{
    if (position_ >= Size())
        return 0;
    size_t n = std::min(count, size_ - static_cast<size_t>(position_));
    std::memcpy(buffer, data_ + position_, n);
    position_ += static_cast<int64_t>(n);
    return n;
}

size_t TSpanStream::Write(const void*, size_t) { throw EPelMsgError("Stream is read-only"); }

int64_t TSpanStream::Seek(int64_t offset, TSeekOrigin origin)
{
    position_ = ClampedTarget(offset, origin, position_, Size());
    return position_;
}

// ---- TWindowStream ----

TWindowStream::TWindowStream(TStream& base, int64_t length)
    : base_(base)
    , start_(base.Position())
    , length_(std::clamp<int64_t>(length, 0, base.Remaining()))
{
}

size_t TWindowStream::Read(void* buffer, size_t count)
{
    int64_t rest = length_ - Position();
    if (rest <= 0)
        return 0;
    return base_.Read(buffer, static_cast<size_t>(std::min<int64_t>(rest, static_cast<int64_t>(count))));
}

size_t TWindowStream::Write(const void*, size_t) { throw EPelMsgError("Stream is read-only"); }

int64_t TWindowStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t target = ClampedTarget(offset, origin, Position(), length_);
    base_.Seek(start_ + std::min(target, length_), TSeekOrigin::Beginning);
    return Position();
}

void SaveThroughTemporaryFile(
    const std::string& fileName, const std::function<void(TStream&)>& write, const TSaveOptions& options)
{
    TSafeFileStream file(fileName, options);
    write(file);
    file.Commit();
}

} // namespace pelmsg
