// A mail file (one mail or an mbox) of arbitrary bytes, as the window opens one: its TNEF parts listed with and
// without a listing control, and the last part opened. Whatever the bytes: both listings find the same parts, the
// controlled one reports the whole file read and every part found, a listing cancelled before it starts finds
// none, and opening a part either gives the message or raises the library's error.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pelmsg.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The bytes as a file of their own, named by its descriptor's path; closed when it goes.
class TMemoryFile {
public:
    explicit TMemoryFile(std::string_view bytes)
        : fd_(::memfd_create("mail", MFD_CLOEXEC))
    {
        for (size_t at = 0; fd_ >= 0 && at < bytes.size();) {
            const ssize_t n = ::write(fd_, bytes.data() + at, bytes.size() - at);
            Check(n > 0);
            at += static_cast<size_t>(n);
        }
    }
    ~TMemoryFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;
    bool IsOpen() const { return fd_ >= 0; }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

bool SameParts(const std::vector<pelmsg::TMailCandidate>& a, const std::vector<pelmsg::TMailCandidate>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].MailIndex != b[i].MailIndex || a[i].PartIndex != b[i].PartIndex || a[i].Subject != b[i].Subject
            || a[i].Bytes != b[i].Bytes)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TMemoryFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!file.IsOpen())
        return 0;
    const std::string path = file.Path();
    std::vector<pelmsg::TMailCandidate> plain;
    try {
        plain = pelmsg::ListTnefCandidates(path);
    } catch (const pelmsg::EPelMsgError&) {
        return 0;
    }
    pelmsg::TListControl control;
    const std::vector<pelmsg::TMailCandidate> watched = pelmsg::ListTnefCandidates(path, &control);
    Check(SameParts(plain, watched));
    Check(control.Total == static_cast<int64_t>(size) && control.Read == control.Total);
    Check(control.Found == watched.size());

    pelmsg::TListControl cancelled;
    cancelled.Cancelled = true;
    Check(pelmsg::ListTnefCandidates(path, &cancelled).empty());

    if (plain.empty())
        return 0;
    pelmsg::TPelMailFile message;
    message.SelectCandidate(plain.size() - 1);
    try {
        message.LoadFromFile(path);
        Check(SameParts(message.Candidates(), plain));
    } catch (const pelmsg::EPelMsgError&) {
    }
    return 0;
}
