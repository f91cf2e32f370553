// mbox and Maildir: mailboxes read and written one mail at a time.

#include "mime/mbox.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/stream.h"

namespace pelmsg {

namespace {

constexpr size_t kChunk = 256 * 1024;

bool IsFromLine(std::string_view line) { return line.substr(0, 5) == "From "; }

bool IsEmptyLine(std::string_view line) { return line == "\n" || line == "\r\n"; }

// ">From ", ">>From ", ...: the count of ">" before "From ", or 0 when the line is not one.
size_t QuotedFromDepth(std::string_view line)
{
    size_t i = 0;
    while (i < line.size() && line[i] == '>')
        ++i;
    return line.substr(i, 5) == "From " ? i : std::string_view::npos;
}

} // namespace

TMboxReader::TMboxReader(TStream& stream)
    : stream_(stream)
{
}

bool TMboxReader::ReadLine(std::string& line)
{
    line.clear();
    for (;;) {
        if (bufferPos_ < buffer_.size()) {
            const char* from = buffer_.data() + bufferPos_;
            const void* nl = std::memchr(from, '\n', buffer_.size() - bufferPos_);
            const size_t take = nl ? static_cast<size_t>(static_cast<const char*>(nl) - from) + 1
                                   : buffer_.size() - bufferPos_;
            if (line.size() + take > kMaxMailBytes)
                throw EFormatError("a mail in the mailbox is longer than " + std::to_string(kMaxMailBytes) + " bytes");
            line.append(from, take);
            bufferPos_ += take;
            if (nl) {
                ++linesRead_;
                return true;
            }
        }
        if (end_) {
            if (!line.empty())
                ++linesRead_;
            return !line.empty();
        }
        buffer_.resize(kChunk);
        const size_t got = stream_.Read(buffer_.data(), kChunk);
        buffer_.resize(got);
        bufferPos_ = 0;
        end_ = got == 0;
    }
}

bool TMboxReader::Next(std::string& fromLine, std::string& mail)
{
    fromLine.clear();
    mail.clear();
    std::string line;
    if (havePending_) {
        fromLine = pending_;
        havePending_ = false;
    } else {
        if (!ReadLine(line))
            return false;
        // Empty lines before the first "From " line hold no mail.
        while (!started_ && IsEmptyLine(line))
            if (!ReadLine(line))
                return false;
        if (!started_ && IsFromLine(line))
            fromLine = line;
        else
            mail = line;
    }
    started_ = true;
    while (fromLine.size() && (fromLine.back() == '\n' || fromLine.back() == '\r'))
        fromLine.pop_back();
    bool previousEmpty = false;
    size_t previousStart = 0;
    while (ReadLine(line)) {
        if (previousEmpty && IsFromLine(line)) {
            // The empty line before the separator is the mbox's, not the mail's.
            mail.resize(previousStart);
            pending_ = line;
            havePending_ = true;
            return true;
        }
        previousEmpty = IsEmptyLine(line);
        previousStart = mail.size();
        if (line[0] == '>' && QuotedFromDepth(line) != std::string_view::npos)
            line.erase(0, 1);
        if (mail.size() + line.size() > kMaxMailBytes)
            throw EFormatError("a mail in the mailbox is longer than " + std::to_string(kMaxMailBytes) + " bytes");
        mail += line;
    }
    // The last mail keeps everything but a final empty line, which the mbox added.
    if (previousEmpty)
        mail.resize(previousStart);
    return true;
}

void WriteMboxMail(TStream& stream, const std::string& fromLine, std::string_view mail)
{
    const size_t firstBreak = mail.find('\n');
    const std::string eol = firstBreak != std::string_view::npos && firstBreak > 0 && mail[firstBreak - 1] == '\r'
        ? "\r\n"
        : "\n";
    stream.WriteString(fromLine.empty() ? std::string("From MAILER-DAEMON Thu Jan  1 00:00:00 1970") : fromLine);
    stream.WriteString(eol);
    size_t pos = 0, written = 0;
    while (pos < mail.size()) {
        size_t end = mail.find('\n', pos);
        end = end == std::string_view::npos ? mail.size() : end + 1;
        if (QuotedFromDepth(mail.substr(pos, end - pos)) != std::string_view::npos) {
            stream.WriteString(mail.substr(written, pos - written));
            stream.WriteString(">");
            written = pos;
        }
        pos = end;
    }
    stream.WriteString(mail.substr(written));
    if (!mail.empty() && mail.back() != '\n')
        stream.WriteString(eol);
    stream.WriteString(eol);
}

std::vector<std::string> ListMaildir(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(fs::path(folder) / "cur", ec) && !fs::is_directory(fs::path(folder) / "new", ec))
        throw EFileError(folder + " is not a Maildir folder (it has no cur/ or new/ folder)");
    std::vector<std::string> names;
    for (const char* sub : { "cur", "new" }) {
        const fs::path dir = fs::path(folder) / sub;
        if (!fs::is_directory(dir, ec))
            continue;
        std::vector<std::string> here;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (!name.empty() && name[0] != '.' && it->is_regular_file(ec))
                here.push_back(std::string(sub) + "/" + name);
        }
        std::sort(here.begin(), here.end());
        names.insert(names.end(), here.begin(), here.end());
    }
    return names;
}

void MakeMaildir(const std::string& folder)
{
    namespace fs = std::filesystem;
    for (const char* sub : { "tmp", "new", "cur" }) {
        std::error_code ec;
        fs::create_directories(fs::path(folder) / sub, ec);
        if (ec)
            throw EFileError("Cannot create folder " + (fs::path(folder) / sub).string() + ": " + ec.message());
    }
}

void WriteMaildirMail(const std::string& folder, const std::string& relativePath, std::string_view mail)
{
    namespace fs = std::filesystem;
    const fs::path target = fs::path(folder) / relativePath;
    const fs::path temporary = fs::path(folder) / "tmp" / target.filename();
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw EFileError("Cannot create file " + temporary.string() + ": " + std::strerror(errno));
    size_t done = 0;
    while (done < mail.size()) {
        const ssize_t n = ::write(fd, mail.data() + done, mail.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int saved = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            throw EFileError("Cannot write file " + temporary.string() + ": " + std::strerror(saved));
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(temporary.c_str());
        throw EFileError("Cannot write file " + temporary.string());
    }
    // link() refuses an existing name, where rename() would replace it.
    if (::link(temporary.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        throw EFileError("Cannot create file " + target.string() + ": " + std::strerror(saved));
    }
    ::unlink(temporary.c_str());
}

} // namespace pelmsg
