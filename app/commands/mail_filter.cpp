// The mail filter. A mail system hands a filter each mail and takes what it writes as the mail: so whatever goes
// wrong, the mail goes out as it came, and only a failed write (which the mail system sees and retries) is an error.

#include "mail_filter.h"

#include <unistd.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <syslog.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <streambuf>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "pelmsg.h"

namespace quorra {

namespace {

// A mail longer than this is not read whole: it goes through as it came.
constexpr size_t kMaxFilterMailBytes = size_t { 512 } * 1024 * 1024;
constexpr size_t kChunk = 256 * 1024;

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
    std::vector<char> buffer(kChunk);
    for (;;) {
        const ssize_t n = ::read(input, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        if (!WriteAll(output, std::string_view(buffer.data(), static_cast<size_t>(n))))
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
    struct stat out { }, err { };
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
        std::vector<char> buffer(kChunk);
        for (;;) {
            const ssize_t n = ::read(input, buffer.data(), buffer.size());
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

    // The unwrap runs in a thread of its own so that its time can be limited; the mail waits for it no longer.
    struct TShared {
        std::mutex Mutex;
        std::condition_variable Done;
        bool Finished = false;
        TOutcome Outcome;
    };
    auto shared = std::make_shared<TShared>();
    bool timedOut = false;
    try {
        std::thread([shared, mail] {
            TOutcome outcome = Unwrap(*mail);
            std::lock_guard lock(shared->Mutex);
            shared->Outcome = std::move(outcome);
            shared->Finished = true;
            shared->Done.notify_all();
        }).detach();
        std::unique_lock lock(shared->Mutex);
        timedOut = !shared->Done.wait_for(lock, options.TimeLimit, [&] { return shared->Finished; });
    } catch (const std::system_error& e) {
        // No thread: unwrap here, without the time limit.
        shared->Outcome = Unwrap(*mail);
        shared->Finished = true;
    }
    if (timedOut) {
        errors << "quorra: unwrapping took longer than " << options.TimeLimit.count()
               << " ms; the mail goes through as it came\n";
        errors.flush();
        const bool written = WriteAll(output, *mail);
        // The worker still runs: end the process now, without running destructors it might be using.
        std::_Exit(written ? 0 : 75);
    }
    std::lock_guard lock(shared->Mutex);
    const TOutcome& outcome = shared->Outcome;
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

// Mails read in order, unwrapped by workers, written in the order they came; at most `window` mails are held.
struct TJob {
    std::string Name; // the mbox "From " line, or the Maildir path
    std::string_view Mail; // the mail: a view of the mapped mbox, or of Owned
    std::string Owned; // the mail's bytes when they are not in the mapped file as they are
    std::string_view Stretch; // in an mbox: the mail's whole stretch of the file, written back as it is if unchanged
    TOutcome Outcome;
    bool Done = false;
};

// An mbox file mapped into memory and split into its mails where they stand: each mail is a view of the file,
// copied only when a line quoted as ">From " must lose its ">". The mails are those TMboxReader reads (a mail
// starts at a "From " line at the start or after an empty line, which belongs to the separator). Pages behind the
// writer are given back as it goes, so the memory the process holds does not grow with the mailbox.
class TMappedMbox {
public:
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
        while (pos_ < size_ && (data_[pos_] == '\n' || (data_[pos_] == '\r' && pos_ + 1 < size_ && data_[pos_ + 1] == '\n')))
            pos_ += data_[pos_] == '\n' ? 1 : 2;
    }
    ~TMappedMbox()
    {
        if (data_)
            ::munmap(const_cast<char*>(data_), size_);
        ::close(fd_);
    }
    TMappedMbox(const TMappedMbox&) = delete;
    TMappedMbox& operator=(const TMappedMbox&) = delete;

    bool Next(TJob& job)
    {
        if (pos_ >= size_)
            return false;
        const size_t start = pos_;
        size_t mailBegin = pos_;
        if (IsFromAt(pos_)) {
            const char* nl = static_cast<const char*>(std::memchr(data_ + pos_, '\n', size_ - pos_));
            const size_t lineEnd = nl ? static_cast<size_t>(nl - data_) : size_;
            job.Name.assign(data_ + pos_, lineEnd - pos_);
            while (!job.Name.empty() && job.Name.back() == '\r')
                job.Name.pop_back();
            mailBegin = nl ? lineEnd + 1 : size_;
        }
        // The next "From " line after an empty line; the empty line ends this mail.
        size_t mailEnd = size_, next = size_;
        for (size_t from = mailBegin > 0 ? mailBegin - 1 : 0; from < size_;) {
            const void* hit = ::memmem(data_ + from, size_ - from, "\nFrom ", 6);
            if (!hit)
                break;
            const size_t q = static_cast<size_t>(static_cast<const char*>(hit) - data_) + 1;
            from = q;
            size_t empty = size_;
            if (q >= 2 && q - 1 >= mailBegin && (q - 1 == mailBegin || data_[q - 2] == '\n'))
                empty = q - 1;
            else if (q >= 3 && data_[q - 2] == '\r' && q - 2 >= mailBegin && (q - 2 == mailBegin || data_[q - 3] == '\n'))
                empty = q - 2;
            if (empty != size_) {
                mailEnd = empty;
                next = q;
                break;
            }
        }
        if (next == size_) {
            // The last mail keeps everything but a final empty line, which the mbox added.
            if (mailEnd >= mailBegin + 1 && data_[mailEnd - 1] == '\n') {
                if (mailEnd - 1 == mailBegin || data_[mailEnd - 2] == '\n')
                    mailEnd -= 1;
                else if (data_[mailEnd - 2] == '\r' && (mailEnd - 2 == mailBegin || data_[mailEnd - 3] == '\n'))
                    mailEnd -= 2;
            }
        }
        if (mailEnd - mailBegin > pelmsg::TMboxReader::kMaxMailBytes)
            throw pelmsg::EFormatError("a mail in the mailbox is longer than "
                + std::to_string(pelmsg::TMboxReader::kMaxMailBytes) + " bytes");
        job.Stretch = std::string_view(data_ + start, next - start);
        job.Mail = std::string_view(data_ + mailBegin, mailEnd - mailBegin);
        if (HasQuotedFrom(job.Mail)) {
            job.Owned = Unquoted(job.Mail);
            job.Mail = job.Owned;
        }
        pos_ = next;
        return true;
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

    // ">From ", ">>From ", ...: a line to unquote.
    static bool QuotedFromLine(std::string_view line)
    {
        size_t i = 0;
        while (i < line.size() && line[i] == '>')
            ++i;
        return i > 0 && line.substr(i, 5) == "From ";
    }
    static bool HasQuotedFrom(std::string_view mail)
    {
        if (QuotedFromLine(mail))
            return true;
        for (size_t at = mail.find("\n>"); at != std::string_view::npos; at = mail.find("\n>", at + 1))
            if (QuotedFromLine(mail.substr(at + 1)))
                return true;
        return false;
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
    size_t pos_ = 0;
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
                Pipeline.changed_.notify_all();
                for (std::thread& t : Workers)
                    t.join();
            }
        } join { *this, workers };
        // Enough mails in flight to keep every worker busy with small mails; the bytes they may hold (copies and
        // unwrapped mails) stay within a few of the largest mail.
        const size_t window = 16 * threads_;
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
                bytesInFlight += job->Mail.size();
                inFlight.push_back(job);
                std::lock_guard lock(mutex_);
                pending_.push_back(job);
                changed_.notify_all();
            }
            if (inFlight.empty())
                break;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return inFlight.front()->Done; });
            }
            bytesInFlight -= inFlight.front()->Mail.size();
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
                changed_.wait(lock, [&] { return finished_ || !pending_.empty(); });
                if (pending_.empty())
                    return;
                job = pending_.front();
                pending_.pop_front();
            }
            TOutcome outcome = Unwrap(job->Mail);
            std::lock_guard lock(mutex_);
            job->Outcome = std::move(outcome);
            job->Done = true;
            changed_.notify_all();
        }
    }

    unsigned threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<TJob>> pending_;
    bool finished_ = false;
};

} // namespace

int FilterMailbox(const std::string& input, const std::string& output, std::ostream& errors,
    const TFilterOptions& options)
{
    size_t mails = 0, unwrapped = 0;
    auto report = [&](const TJob& job) {
        ++mails;
        if (job.Outcome.Result.Changed) {
            ++unwrapped;
            for (const std::string& note : job.Outcome.Result.Notes)
                errors << "quorra: " << job.Name << ": unwrapped, reading past minor damage: " << note << "\n";
        } else if (WorthSaying(job.Outcome))
            errors << "quorra: " << job.Name << ": as it came: " << ReasonOf(job.Outcome) << "\n";
    };
    auto body = [&](const TJob& job) -> std::string_view {
        return job.Outcome.Result.Changed ? std::string_view(job.Outcome.Result.Mail) : std::string_view(job.Mail);
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
                    job.Name = names[index++];
                    pelmsg::TFileStream file(input + "/" + job.Name, pelmsg::TFileStream::Mode::OpenRead);
                    if (file.Size() > static_cast<int64_t>(kMaxFilterMailBytes))
                        throw pelmsg::EFileError(job.Name + " is longer than " + std::to_string(kMaxFilterMailBytes)
                            + " bytes");
                    job.Owned = file.ReadString(static_cast<size_t>(file.Size()));
                    job.Mail = job.Owned;
                    return true;
                },
                [&](TJob& job) {
                    pelmsg::WriteMaildirMail(output, job.Name, body(job));
                    report(job);
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
                    pipeline.Run([&](TJob& job) { return mbox.Next(job); },
                        [&](TJob& job) {
                            // A mail that stays as it came goes out as its stretch of the mailbox, byte for byte.
                            if (!job.Outcome.Result.Changed && !job.Name.empty())
                                out.Write(job.Stretch.data(), job.Stretch.size());
                            else
                                pelmsg::WriteMboxMail(out, job.Name, body(job));
                            report(job);
                            mbox.Release(job.Stretch);
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
