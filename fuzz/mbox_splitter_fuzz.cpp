// The mail filter's mbox side on arbitrary bytes: TMboxStretches reads them from a descriptor in stretches (of a
// size and with a mail limit the first two bytes choose), TMboxSplitter cuts each stretch into its mails. Whatever
// the bytes: the pieces, joined, are the mailbox byte for byte (less the empty lines before its first mail); every
// piece that is a mail starts at the start or at a "From " line after an empty line; each mail lies in its piece;
// and what the splitter says of a mail's TNEF traces is what pelmsg::MayHoldTnefPart says of the mail.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "mbox_stretches.h"
#include "pelmsg.h"

namespace {

using quorra::mbox_filter::TJob;
using quorra::mbox_filter::TMail;
using quorra::mbox_filter::TMboxSplitter;
using quorra::mbox_filter::TMboxStretches;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The mailbox as the stretches give it back: the empty lines ("\n", "\r\n") before the first mail dropped.
std::string_view WithoutLeadingEmptyLines(std::string_view mbox)
{
    for (;;) {
        if (mbox.starts_with("\n"))
            mbox.remove_prefix(1);
        else if (mbox.starts_with("\r\n"))
            mbox.remove_prefix(2);
        else
            return mbox;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t stretchBytes = 64 + size_t { data[0] } * 3;
    const size_t maxMailBytes = 16 + size_t { data[1] } * 5;
    const std::string_view mbox(reinterpret_cast<const char*>(data) + 2, size - 2);
    const int fd = ::memfd_create("mbox", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    for (size_t at = 0; at < mbox.size();) {
        const ssize_t n = ::write(fd, mbox.data() + at, mbox.size() - at);
        Check(n > 0);
        at += static_cast<size_t>(n);
    }
    Check(::lseek(fd, 0, SEEK_SET) == 0);

    std::string joined;
    std::vector<size_t> mailStarts; // where in `joined` a piece that is a mail starts
    TMboxStretches stretches(fd, stretchBytes, maxMailBytes);
    for (;;) {
        TJob job;
        if (!stretches.Next(job))
            break;
        const std::string_view stretch = job.Buffer.View();
        if (job.PassThrough) {
            // A mail over the limit, a stretch at a time: the first stretch names it as over the limit.
            Check(job.Begin <= stretch.size());
            if (!job.Mails.empty()) {
                Check(job.Mails.size() == 1 && job.Mails.front().OverLimit);
                mailStarts.push_back(joined.size());
            }
            joined.append(stretch.substr(job.Begin));
        } else {
            std::vector<TMail> mails;
            TMboxSplitter(stretch, maxMailBytes).Split(mails, [](TMail&) {});
            Check(!mails.empty() || stretch.empty());
            for (const TMail& mail : mails) {
                Check(mail.Stretch.data() >= stretch.data()
                    && mail.Stretch.data() + mail.Stretch.size() <= stretch.data() + stretch.size());
                mailStarts.push_back(joined.size());
                joined.append(mail.Stretch);
                if (mail.OverLimit) {
                    Check(mail.Mail.size() > maxMailBytes);
                    continue;
                }
                Check(mail.Mail.size() <= maxMailBytes);
                if (mail.Owned.empty())
                    Check(mail.Mail.data() >= mail.Stretch.data()
                        && mail.Mail.data() + mail.Mail.size() <= mail.Stretch.data() + mail.Stretch.size());
                Check(mail.MayHoldTnef == pelmsg::MayHoldTnefPart(mail.Mail));
            }
        }
        stretches.GiveBack(std::move(job.Buffer));
    }
    ::close(fd);
    Check(joined == WithoutLeadingEmptyLines(mbox));
    for (const size_t at : mailStarts)
        Check(at == 0 || TMboxSplitter::MailStartsAt(joined.data(), joined.size(), at));
    return 0;
}
