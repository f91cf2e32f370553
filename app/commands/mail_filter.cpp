// The mail filter. A mail system hands a filter each mail and takes what it writes as the mail: so whatever goes
// wrong, the mail goes out as it came, and only a failed write (which the mail system sees and retries) is an error.

#include "mail_filter.h"

#include <unistd.h>

#include <fcntl.h>
#include <sys/mman.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <sys/stat.h>
#include <syslog.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <new>
#include <streambuf>
#include <thread>
#include <vector>

#include "pelmsg.h"

namespace quorra {

namespace {

// A mail longer than this is not read whole: it goes through as it came.
constexpr size_t kMaxFilterMailBytes = size_t { 512 } * 1024 * 1024;
// Read in pieces of this size, into a buffer that is not cleared first: a mail filter runs once per mail, and
// clearing (so faulting in) a large buffer cost it more than the mail did.
constexpr size_t kChunk = 64 * 1024;

std::unique_ptr<char[]> ChunkBuffer() { return std::make_unique_for_overwrite<char[]>(kChunk); }

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Copies the rest of the input to the output; false when the output cannot be written.
bool CopyRest(int input, int output)
{
    const std::unique_ptr<char[]> buffer = ChunkBuffer();
    for (;;) {
        const ssize_t n = ::read(input, buffer.get(), kChunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        if (!WriteAll(output, std::string_view(buffer.get(), static_cast<size_t>(n))))
            return false;
    }
}

// The unwrap of one mail with the reason it failed, as the worker leaves it.
struct TOutcome {
    pelmsg::TUnwrapResult Result;
    std::string Failure; // an exception's text
};

TOutcome Unwrap(std::string_view mail)
{
    TOutcome outcome;
    // Most mail holds no TNEF part, which a look at its bytes proves faster than reading it as MIME.
    if (!pelmsg::MayHoldTnefPart(mail)) {
        outcome.Result.Reason = "the mail holds no TNEF (winmail.dat) part";
        return outcome;
    }
    try {
        outcome.Result = pelmsg::UnwrapTnefParts(mail);
    } catch (const std::bad_alloc&) {
        outcome.Result = {};
        outcome.Failure = "not enough memory to unwrap the mail";
    } catch (const std::exception& e) {
        outcome.Result = {};
        outcome.Failure = e.what();
    }
    return outcome;
}

// Whether a reason is worth saying: a mail without TNEF parts is the common case, not a problem.
bool WorthSaying(const TOutcome& outcome)
{
    return !outcome.Failure.empty() || outcome.Result.Reason.find("holds no TNEF") == std::string::npos;
}

std::string ReasonOf(const TOutcome& outcome)
{
    return outcome.Failure.empty() ? outcome.Result.Reason : outcome.Failure;
}

// Lines written to it go to the system log.
class TSyslogBuffer : public std::streambuf {
protected:
    int overflow(int c) override
    {
        if (c == traits_type::eof())
            return traits_type::not_eof(c);
        if (c == '\n')
            Flush();
        else if (line_.size() < 4096)
            line_ += static_cast<char>(c);
        return c;
    }
    int sync() override
    {
        Flush();
        return 0;
    }

private:
    void Flush()
    {
        if (line_.empty())
            return;
        ::syslog(LOG_MAIL | LOG_NOTICE, "%s", line_.c_str());
        line_.clear();
    }
    std::string line_;
};

} // namespace

std::ostream& FilterErrorStream(int output)
{
    struct stat out {
    }, err {};
    if (::fstat(output, &out) != 0 || ::fstat(2, &err) != 0 || out.st_dev != err.st_dev || out.st_ino != err.st_ino)
        return std::cerr;
    static TSyslogBuffer buffer;
    static std::ostream log(&buffer);
    ::openlog("quorra", LOG_PID, LOG_MAIL);
    return log;
}

int FilterMail(int input, int output, std::ostream& errors, const TFilterOptions& options)
{
    auto mail = std::make_shared<std::string>();
    try {
        // A mail in a file (Exim, procmail): its size is known, and the mail is read into one allocation.
        struct stat st { };
        if (::fstat(input, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0
            && static_cast<uint64_t>(st.st_size) <= kMaxFilterMailBytes)
            mail->reserve(static_cast<size_t>(st.st_size));
        const std::unique_ptr<char[]> chunk = ChunkBuffer();
        const std::string_view buffer(chunk.get(), kChunk);
        for (;;) {
            const ssize_t n = ::read(input, chunk.get(), kChunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                errors << "quorra: reading the mail: " << std::strerror(errno) << "; written as far as it was read\n";
                break;
            }
            if (n == 0)
                break;
            if (mail->size() + static_cast<size_t>(n) > kMaxFilterMailBytes) {
                errors << "quorra: the mail is longer than " << kMaxFilterMailBytes
                       << " bytes; it goes through as it came\n";
                if (!WriteAll(output, *mail) || !WriteAll(output, std::string_view(buffer.data(), static_cast<size_t>(n)))
                    || !CopyRest(input, output))
                    return 75;
                return 0;
            }
            mail->append(buffer.data(), static_cast<size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        errors << "quorra: not enough memory to read the mail; it goes through as it came\n";
        if (!WriteAll(output, *mail) || !CopyRest(input, output))
            return 75;
        return 0;
    }

    // The unwrap runs here, in the main thread (whose memory arena is there already); a watchdog thread waits for
    // it for the time limit, and past it writes the mail as it came and ends the process. Whichever of the two
    // moves the state from Running first writes the mail.
    enum class TState { Running, Finished, TimedOut };
    struct TWatch {
        std::mutex Mutex;
        std::condition_variable Changed;
        TState State = TState::Running;
    };
    auto watch = std::make_shared<TWatch>();
    try {
        std::thread([watch, mail, output, &errors, limit = options.TimeLimit] {
            {
                std::unique_lock lock(watch->Mutex);
                if (watch->Changed.wait_for(lock, limit, [&] { return watch->State != TState::Running; }))
                    return;
                watch->State = TState::TimedOut;
            }
            errors << "quorra: unwrapping took longer than " << limit.count()
                   << " ms; the mail goes through as it came\n";
            errors.flush();
            const bool written = WriteAll(output, *mail);
            // The unwrap still runs: end the process now, without running destructors it might be using.
            std::_Exit(written ? 0 : 75);
        }).detach();
    } catch (const std::system_error&) {
        // No thread: unwrap without the time limit.
    }
    const TOutcome outcome = Unwrap(*mail);
    {
        std::lock_guard lock(watch->Mutex);
        if (watch->State == TState::TimedOut) {
            // The watchdog writes the mail as it came and ends the process.
            for (;;)
                ::pause();
        }
        watch->State = TState::Finished;
    }
    watch->Changed.notify_all();
    if (outcome.Result.Changed) {
        for (const std::string& note : outcome.Result.Notes)
            errors << "quorra: unwrapped, reading past minor damage: " << note << "\n";
        return WriteAll(output, outcome.Result.Mail) ? 0 : 75;
    }
    if (WorthSaying(outcome))
        errors << "quorra: the mail goes through as it came: " << ReasonOf(outcome) << "\n";
    return WriteAll(output, *mail) ? 0 : 75;
}

namespace {

// One mail of a mailbox: read in order, unwrapped by a worker, written in the order it came.
struct TMail {
    std::string Name; // the mbox "From " line, or the Maildir path
    std::string_view Mail; // the mail: a view of the mapped mbox, or of Owned
    std::string Owned; // the mail's bytes when they are not in the mapped file as they are
    std::string_view Stretch; // in an mbox: the mail's whole stretch of the file, written back as it is if unchanged
    TOutcome Outcome;
};

class TMappedMbox;

// What a worker takes at a time: one mail of a Maildir folder, or a stretch of an mbox file that the worker splits
// into its mails itself (the mails that start in [Begin, End)), so that finding the mails runs on every core too.
struct TJob {
    std::vector<TMail> Mails;
    const TMappedMbox* Mbox = nullptr;
    size_t Begin = 0;
    size_t End = 0;
    std::string Error; // why the stretch could not be split
    bool Done = false;
    size_t Bytes() const { return Mbox ? End - Begin : (Mails.empty() ? 0 : Mails.front().Mail.size()); }
};

// An mbox file mapped into memory and split into its mails where they stand: each mail is a view of the file,
// copied only when a line quoted as ">From " must lose its ">". The mails are those TMboxReader reads (a mail
// starts at a "From " line at the start or after an empty line, which belongs to the separator). Pages behind the
// writer are given back as it goes, so the memory the process holds does not grow with the mailbox.
class TMappedMbox {
public:
    // The stretch of the file one job splits and unwraps.
    static constexpr size_t kStretchBytes = size_t { 4 } << 20;
    // How far past its stretch a job's pages are mapped ahead: where its last mail usually ends.
    static constexpr size_t kLastMailSlack = size_t { 64 } << 10;

    explicit TMappedMbox(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw pelmsg::EFileError("Cannot open file " + path + ": " + std::strerror(errno));
        struct stat st { };
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd_);
            throw pelmsg::EFileError(path + " is not a mailbox file");
        }
        size_ = static_cast<size_t>(st.st_size);
        if (size_ > 0) {
            void* map = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
            if (map == MAP_FAILED) {
                ::close(fd_);
                throw pelmsg::EFileError("Cannot read file " + path + ": " + std::strerror(errno));
            }
            data_ = static_cast<const char*>(map);
            ::madvise(map, size_, MADV_SEQUENTIAL);
        }
        // Empty lines before the first "From " line hold no mail.
        while (first_ < size_
            && (data_[first_] == '\n' || (data_[first_] == '\r' && first_ + 1 < size_ && data_[first_ + 1] == '\n')))
            first_ += data_[first_] == '\n' ? 1 : 2;
        pos_ = first_;
    }
    ~TMappedMbox()
    {
        if (data_)
            ::munmap(const_cast<char*>(data_), size_);
        ::close(fd_);
    }
    TMappedMbox(const TMappedMbox&) = delete;
    TMappedMbox& operator=(const TMappedMbox&) = delete;

    // The next stretch of the file for a worker; false at the end.
    bool NextStretch(TJob& job)
    {
        if (pos_ >= size_)
            return false;
        job.Mbox = this;
        job.Begin = pos_;
        job.End = std::min(size_, pos_ + kStretchBytes);
        pos_ = job.End;
        return true;
    }

    // Splits a job's stretch into the mails that start in it (the last one may run past its end), handing each to
    // `each` as soon as it is found, while its bytes are still in the processor's cache. Raises EFormatError for a
    // mail over TMboxReader::kMaxMailBytes.
    template <class Each> void Split(TJob& job, Each each) const
    {
#ifdef MADV_POPULATE_READ
        // The stretch's pages mapped in one call, not by a fault every few pages as the scan reaches them: a sixth
        // less processor time for the whole filter, as measured. (A kernel before Linux 5.14 refuses the call, and
        // the scan faults the pages in as before.)
        static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        const size_t from = job.Begin / page * page;
        ::madvise(
            const_cast<char*>(data_) + from, std::min(size_, job.End + kLastMailSlack) - from, MADV_POPULATE_READ);
#endif
        for (size_t at = FirstMailAtOrAfter(job.Begin); at < job.End;) {
            TMail& mail = job.Mails.emplace_back();
            at = MailAt(at, mail);
            each(mail);
        }
    }

    // Gives back the pages before this point of the file (they are written).
    void Release(std::string_view upTo)
    {
        static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        const size_t end = static_cast<size_t>(upTo.data() + upTo.size() - data_) / page * page;
        if (end > released_ + (size_t { 64 } << 20)) {
            ::madvise(const_cast<char*>(data_) + released_, end - released_, MADV_DONTNEED);
            released_ = end;
        }
    }

private:
    bool IsFromAt(size_t at) const { return size_ - at >= 5 && std::memcmp(data_ + at, "From ", 5) == 0; }

    // Where the empty line ending at the line break nl starts ("\n" or "\r\n" alone), or size_ when the line is
    // not empty.
    size_t EmptyLineEndingAt(size_t nl) const
    {
        if (nl == 0 || data_[nl - 1] == '\n')
            return nl;
        if (data_[nl - 1] == '\r' && (nl == 1 || data_[nl - 2] == '\n'))
            return nl - 1;
        return size_;
    }

    // The first mail that starts at or after `at`: its "From " line's position, or size_.
    size_t FirstMailAtOrAfter(size_t at) const
    {
        if (at <= first_)
            return first_;
        for (size_t nl = NextMarkedLine(at - 1); nl < size_; nl = NextMarkedLine(nl + 1))
            if (IsFromAt(nl + 1) && EmptyLineEndingAt(nl) != size_)
                return nl + 1;
        return size_;
    }

    // Reads the mail that starts at `start` into `mail`; returns where the next one starts (size_ at the end).
    size_t MailAt(size_t start, TMail& mail) const
    {
        size_t mailBegin = start;
        if (IsFromAt(start)) {
            const char* nl = static_cast<const char*>(std::memchr(data_ + start, '\n', size_ - start));
            const size_t lineEnd = nl ? static_cast<size_t>(nl - data_) : size_;
            mail.Name.assign(data_ + start, lineEnd - start);
            while (!mail.Name.empty() && mail.Name.back() == '\r')
                mail.Name.pop_back();
            mailBegin = nl ? lineEnd + 1 : size_;
        }
        // Only lines that start with "F" or ">" matter: the first "From " line after an empty line starts the next
        // mail (the empty line ends this one), and a ">From " line must lose its ">".
        size_t mailEnd = size_, next = size_;
        bool quoted = mailBegin < size_ && data_[mailBegin] == '>' && QuotedFromLine(LineAt(mailBegin));
        for (size_t nl = NextMarkedLine(mailBegin); nl < size_; nl = NextMarkedLine(nl + 1)) {
            const size_t line = nl + 1;
            if (data_[line] == '>') {
                quoted = quoted || QuotedFromLine(LineAt(line));
                continue;
            }
            if (!IsFromAt(line))
                continue;
            const size_t empty = EmptyLineEndingAt(nl);
            if (empty != size_ && empty >= mailBegin) {
                mailEnd = empty;
                next = line;
                break;
            }
        }
        if (next == size_ && mailEnd > mailBegin && data_[mailEnd - 1] == '\n') {
            // The last mail keeps everything but a final empty line, which the mbox added.
            const size_t empty = EmptyLineEndingAt(mailEnd - 1);
            if (empty != size_ && empty >= mailBegin)
                mailEnd = empty;
        }
        if (mailEnd - mailBegin > pelmsg::TMboxReader::kMaxMailBytes)
            throw pelmsg::EFormatError("a mail in the mailbox is longer than "
                + std::to_string(pelmsg::TMboxReader::kMaxMailBytes) + " bytes");
        mail.Stretch = std::string_view(data_ + start, next - start);
        mail.Mail = std::string_view(data_ + mailBegin, mailEnd - mailBegin);
        if (quoted) {
            mail.Owned = Unquoted(mail.Mail);
            mail.Mail = mail.Owned;
        }
        return next;
    }

    std::string_view LineAt(size_t at) const
    {
        const void* nl = std::memchr(data_ + at, '\n', size_ - at);
        return std::string_view(
            data_ + at, nl ? static_cast<size_t>(static_cast<const char*>(nl) - data_) + 1 - at : size_ - at);
    }

    // The first line break at or after `from` whose next byte is "F" or ">" (size_ when none): sixteen bytes a
    // step, since a mailbox is a gigabyte of lines of which a handful matter.
    size_t NextMarkedLine(size_t from) const
    {
        size_t i = from;
#if defined(__SSE2__)
        const __m128i lineBreak = _mm_set1_epi8('\n');
        const __m128i f = _mm_set1_epi8('F');
        const __m128i quote = _mm_set1_epi8('>');
        for (; i + 17 <= size_; i += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + i));
            const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + i + 1));
            const __m128i hit = _mm_and_si128(
                _mm_cmpeq_epi8(here, lineBreak), _mm_or_si128(_mm_cmpeq_epi8(after, f), _mm_cmpeq_epi8(after, quote)));
            if (const int mask = _mm_movemask_epi8(hit))
                return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        }
#endif
        for (; i + 1 < size_; ++i)
            if (data_[i] == '\n' && (data_[i + 1] == 'F' || data_[i + 1] == '>'))
                return i;
        return size_;
    }

    // ">From ", ">>From ", ...: a line to unquote.
    static bool QuotedFromLine(std::string_view line)
    {
        size_t i = 0;
        while (i < line.size() && line[i] == '>')
            ++i;
        return i > 0 && line.substr(i, 5) == "From ";
    }
    static std::string Unquoted(std::string_view mail)
    {
        std::string out;
        out.reserve(mail.size());
        size_t pos = 0;
        while (pos < mail.size()) {
            size_t end = mail.find('\n', pos);
            end = end == std::string_view::npos ? mail.size() : end + 1;
            const std::string_view line = mail.substr(pos, end - pos);
            out.append(QuotedFromLine(line) ? line.substr(1) : line);
            pos = end;
        }
        return out;
    }

    int fd_ = -1;
    const char* data_ = nullptr;
    size_t size_ = 0;
    size_t first_ = 0; // where the first mail starts
    size_t pos_ = 0; // where the next stretch starts
    size_t released_ = 0;
};

class TPipeline {
public:
    explicit TPipeline(unsigned threads)
        : threads_(threads == 0 ? std::max(1u, std::thread::hardware_concurrency()) : threads)
    {
    }

    // next(job) fills a job and returns false at the end; write(job) writes it.
    template <class Next, class Write> void Run(Next next, Write write)
    {
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < threads_; ++i)
            workers.emplace_back([this] { Work(); });
        struct TJoin {
            TPipeline& Pipeline;
            std::vector<std::thread>& Workers;
            ~TJoin()
            {
                {
                    std::lock_guard lock(Pipeline.mutex_);
                    Pipeline.finished_ = true;
                }
                Pipeline.work_.notify_all();
                for (std::thread& t : Workers)
                    t.join();
            }
        } join { *this, workers };
        // Enough jobs in flight to keep every worker busy; the bytes they may hold (copies and unwrapped mails)
        // stay within a few of the largest mail.
        const size_t window = 4 * threads_;
        constexpr size_t kBytesInFlight = size_t { 64 } << 20;
        size_t bytesInFlight = 0;
        bool more = true;
        std::deque<std::shared_ptr<TJob>> inFlight;
        for (;;) {
            while (more && inFlight.size() < window && (inFlight.empty() || bytesInFlight < kBytesInFlight)) {
                auto job = std::make_shared<TJob>();
                more = next(*job);
                if (!more)
                    break;
                bytesInFlight += job->Bytes();
                inFlight.push_back(job);
                std::lock_guard lock(mutex_);
                pending_.push_back(job);
                work_.notify_one();
            }
            if (inFlight.empty())
                break;
            {
                std::unique_lock lock(mutex_);
                done_.wait(lock, [&] { return inFlight.front()->Done; });
            }
            bytesInFlight -= inFlight.front()->Bytes();
            write(*inFlight.front());
            inFlight.pop_front();
        }
    }

private:
    void Work()
    {
        for (;;) {
            std::shared_ptr<TJob> job;
            {
                std::unique_lock lock(mutex_);
                work_.wait(lock, [&] { return finished_ || !pending_.empty(); });
                if (pending_.empty())
                    return;
                job = pending_.front();
                pending_.pop_front();
            }
            if (job->Mbox) {
                try {
                    job->Mbox->Split(*job, [](TMail& mail) { mail.Outcome = Unwrap(mail.Mail); });
                } catch (const std::exception& e) {
                    job->Error = e.what();
                }
            } else {
                for (TMail& mail : job->Mails)
                    mail.Outcome = Unwrap(mail.Mail);
            }
            std::lock_guard lock(mutex_);
            job->Done = true;
            done_.notify_one(); // only the writer waits for finished mails
        }
    }

    unsigned threads_;
    std::mutex mutex_;
    std::condition_variable work_; // a mail waits, or the run is over
    std::condition_variable done_; // a mail was unwrapped
    std::deque<std::shared_ptr<TJob>> pending_;
    bool finished_ = false;
};

} // namespace

int FilterMailbox(const std::string& input, const std::string& output, std::ostream& errors,
    const TFilterOptions& options)
{
    size_t mails = 0, unwrapped = 0;
    auto report = [&](const TMail& mail) {
        ++mails;
        if (mail.Outcome.Result.Changed) {
            ++unwrapped;
            for (const std::string& note : mail.Outcome.Result.Notes)
                errors << "quorra: " << mail.Name << ": unwrapped, reading past minor damage: " << note << "\n";
        } else if (WorthSaying(mail.Outcome))
            errors << "quorra: " << mail.Name << ": as it came: " << ReasonOf(mail.Outcome) << "\n";
    };
    auto body = [&](const TMail& mail) -> std::string_view {
        return mail.Outcome.Result.Changed ? std::string_view(mail.Outcome.Result.Mail) : std::string_view(mail.Mail);
    };
    TPipeline pipeline(options.Threads);
    try {
        std::error_code ec;
        const auto inputId = pelmsg::TFileIdentity::Of(input);
        if (inputId && inputId == pelmsg::TFileIdentity::Of(output))
            throw pelmsg::EFileError("the output " + output + " is the input");
        if (std::filesystem::is_directory(input, ec)) {
            const std::vector<std::string> names = pelmsg::ListMaildir(input);
            pelmsg::MakeMaildir(output);
            size_t index = 0;
            pipeline.Run(
                [&](TJob& job) {
                    if (index == names.size())
                        return false;
                    TMail& mail = job.Mails.emplace_back();
                    mail.Name = names[index++];
                    pelmsg::TFileStream file(input + "/" + mail.Name, pelmsg::TFileStream::Mode::OpenRead);
                    if (file.Size() > static_cast<int64_t>(kMaxFilterMailBytes))
                        throw pelmsg::EFileError(
                            mail.Name + " is longer than " + std::to_string(kMaxFilterMailBytes) + " bytes");
                    mail.Owned = file.ReadString(static_cast<size_t>(file.Size()));
                    mail.Mail = mail.Owned;
                    return true;
                },
                [&](TJob& job) {
                    for (const TMail& mail : job.Mails) {
                        pelmsg::WriteMaildirMail(output, mail.Name, body(mail));
                        report(mail);
                    }
                    job = {};
                });
        } else {
            TMappedMbox mbox(input);
            pelmsg::TSaveOptions saveOptions;
            if (inputId)
                saveOptions.Protected.push_back(*inputId);
            pelmsg::SaveThroughTemporaryFile(
                output,
                [&](pelmsg::TStream& out) {
                    pipeline.Run([&](TJob& job) { return mbox.NextStretch(job); },
                        [&](TJob& job) {
                            if (!job.Error.empty())
                                throw pelmsg::EFormatError(job.Error);
                            for (const TMail& mail : job.Mails) {
                                // A mail that stays as it came goes out as its stretch of the mailbox, byte for byte.
                                // (Through the stream's buffer: the kernel copies from a buffer of the process
                                // faster than from the mapped file, as measured.)
                                if (!mail.Outcome.Result.Changed && !mail.Name.empty())
                                    out.Write(mail.Stretch.data(), mail.Stretch.size());
                                else
                                    pelmsg::WriteMboxMail(out, mail.Name, body(mail));
                                report(mail);
                            }
                            if (!job.Mails.empty())
                                mbox.Release(job.Mails.back().Stretch);
                            job = {};
                        });
                },
                saveOptions);
        }
    } catch (const std::exception& e) {
        errors << "quorra: " << e.what() << "\n";
        return 1;
    }
    errors << "quorra: " << unwrapped << " of " << mails << " mails unwrapped\n";
    return 0;
}

} // namespace quorra
