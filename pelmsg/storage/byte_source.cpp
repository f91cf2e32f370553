#include "storage/byte_source.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/texts.h"

namespace pelmsg::cfb {

namespace {

// A file held open for the life of the storage and read with pread, so that streams can be read in any order
// without sharing a file position.
class TFileSource final : public TByteSource {
public:
    explicit TFileSource(const std::string& fileName)
        : name_(fileName)
    {
        fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            if (errno == ENOENT)
                throw EFileError(FormatMessage(SFileNotFound, fileName));
            throw EFileError("Cannot open file " + fileName + ": " + std::strerror(errno));
        }
        struct stat st { };
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            std::string reason = S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file";
            ::close(fd_);
            throw EFileError("Cannot open file " + fileName + ": " + reason);
        }
        size_ = static_cast<uint64_t>(st.st_size);
    }
    ~TFileSource() override { ::close(fd_); }
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    uint64_t Size() const override { return size_; }
    const std::string& Name() const override { return name_; }

    void ReadAt(uint64_t offset, void* buffer, size_t count) const override
    {
        auto* out = static_cast<char*>(buffer);
        while (count > 0) {
            ssize_t n = ::pread(fd_, out, count, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw EFileError("Cannot read file " + name_ + ": " + std::strerror(errno));
            }
            if (n == 0)
                throw EFileError("Cannot read file " + name_ + ": it ended early (was it changed while open?)");
            out += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<size_t>(n);
        }
    }

private:
    std::string name_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

class TMemorySource final : public TByteSource {
public:
    explicit TMemorySource(std::string bytes)
        : bytes_(std::move(bytes))
    {
    }

    uint64_t Size() const override { return bytes_.size(); }
    const std::string& Name() const override { return name_; }

    void ReadAt(uint64_t offset, void* buffer, size_t count) const override
    {
        if (offset > bytes_.size() || count > bytes_.size() - offset)
            throw EStorageError("Compound file read beyond the end of the data");
        std::memcpy(buffer, bytes_.data() + offset, count);
    }

private:
    std::string bytes_;
    std::string name_;
};

} // namespace

std::unique_ptr<TByteSource> OpenFileSource(const std::string& fileName)
{
    return std::make_unique<TFileSource>(fileName);
}

std::unique_ptr<TByteSource> MakeMemorySource(std::string bytes)
{
    return std::make_unique<TMemorySource>(std::move(bytes));
}

} // namespace pelmsg::cfb
