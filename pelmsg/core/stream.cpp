#include "core/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/large_buffer.h"
#include "core/texts.h"

namespace pelmsg {

namespace {

constexpr size_t kReadBufferSize = size_t{64} * 1024;
constexpr size_t kWriteBufferSize = size_t{256} * 1024;

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
    if (writeBuffer_.size() + count > kWriteBufferSize) {
        FlushWrite();
        writeStart_ = position_;
        if (count >= kWriteBufferSize) {
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

} // namespace

TSafeFileStream::TSafeFileStream(const std::string& fileName)
    : fileName_(fileName)
{
    std::random_device rd;
    for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
        char suffix[32];
        (void)std::snprintf(suffix, sizeof suffix, ".~%08x.tmp", static_cast<unsigned>(rd()));
        std::string candidate = TemporaryNameFor(fileName, suffix);
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            throw EFileError(FormatMessage(SCannotCreateFile, fileName) + ": " + OsReason());
        }
        ::close(fd);
        tempName_ = candidate;
        file_ = std::make_unique<TFileStream>(candidate, TFileStream::Mode::Create);
    }
    if (!file_)
        throw EFileError(FormatMessage(SCannotCreateFile, fileName));
}

TSafeFileStream::~TSafeFileStream()
{
    if (!committed_) {
        file_.reset();
        ::unlink(tempName_.c_str());
    }
}

void TSafeFileStream::Commit()
{
    // The data reaches the disk before the name does, so that a crash never leaves a short file in place.
    file_->Sync();
    file_->Close();
    // Keep the permissions an existing target had; a new file gets the usual ones.
    struct stat st { };
    if (::stat(fileName_.c_str(), &st) == 0)
        ::chmod(tempName_.c_str(), st.st_mode & 07777);
    if (::rename(tempName_.c_str(), fileName_.c_str()) != 0)
        throw EFileError(FormatMessage(SCannotCreateFile, fileName_) + ": " + OsReason());
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
    size_t pos = static_cast<size_t>(position_);
    if (pos == data_.size()) {
        data_.append(static_cast<const char*>(buffer), count);
    } else {
        if (pos + count > data_.size())
            data_.resize(pos + count);
        std::memcpy(data_.data() + pos, buffer, count);
    }
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

void SaveThroughTemporaryFile(const std::string& fileName, const std::function<void(TStream&)>& write)
{
    struct stat st { };
    if (fileName.empty() || (::stat(fileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
        throw EFileError(FormatMessage(SCannotCreateFile, fileName));
    TSafeFileStream file(fileName);
    write(file);
    file.Commit();
}

} // namespace pelmsg
