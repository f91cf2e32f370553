// The mail filter. A mail system hands a filter each mail and takes what it writes as the mail: so whatever goes
// wrong, the mail goes out as it came, and only a failed write (which the mail system sees and retries) is an error.

#include "mail_filter.h"

#include <unistd.h>

#include <fcntl.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <sys/stat.h>
#include <syslog.h>

#include <algorithm>
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

#include "mbox_stretches.h"
#include "pelmsg.h"

namespace quorra {

using mbox_filter::TJob;
using mbox_filter::TMail;
using mbox_filter::TMboxSplitter;
using mbox_filter::TMboxStretches;
using mbox_filter::TOutcome;

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

// Unwraps a mail; `mayHoldTnef` is pelmsg::MayHoldTnefPart of it (the mbox splitter finds it on its way).
TOutcome Unwrap(std::string_view mail, bool mayHoldTnef)
{
    TOutcome outcome;
    // Most mail holds no TNEF part, which a look at its bytes proves faster than reading it as MIME.
    if (!mayHoldTnef) {
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
        // A mail in a file (Exim, procmail): its size is known, and the mail is read into one allocation; a mail
        // longer than the limit goes through as it came without being read into memory at all.
        struct stat st { };
        if (::fstat(input, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            const off_t at = ::lseek(input, 0, SEEK_CUR);
            const auto left = static_cast<uint64_t>(st.st_size - std::clamp<off_t>(at, 0, st.st_size));
            if (left > kMaxFilterMailBytes) {
                errors << "quorra: the mail is longer than " << kMaxFilterMailBytes
                       << " bytes; it goes through as it came\n";
                return CopyRest(input, output) ? 0 : 75;
            }
            mail->reserve(static_cast<size_t>(left));
        }
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
    const TOutcome outcome = Unwrap(*mail, pelmsg::MayHoldTnefPart(*mail));
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

class TPipeline {
public:
    TPipeline(unsigned threads, size_t maxMailBytes)
        : threads_(threads == 0 ? std::max(1u, std::thread::hardware_concurrency()) : threads)
        , maxMailBytes_(maxMailBytes)
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
                    if (!job->PassThrough)
                        TMboxSplitter(job->Buffer.View(), maxMailBytes_).Split(job->Mails, [](TMail& mail) {
                            mail.Outcome = Unwrap(mail.Mail, mail.MayHoldTnef);
                        });
                } catch (const std::exception& e) {
                    job->Error = e.what();
                }
            } else {
                for (TMail& mail : job->Mails)
                    mail.Outcome = Unwrap(mail.Mail, pelmsg::MayHoldTnefPart(mail.Mail));
            }
            std::lock_guard lock(mutex_);
            job->Done = true;
            done_.notify_one(); // only the writer waits for finished mails
        }
    }

    unsigned threads_;
    size_t maxMailBytes_; // an mbox mail longer than this goes out as it came
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
    TPipeline pipeline(options.Threads, options.MaxMailBytes);
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
            // Read front to back, so that a pipe serves as well as a file.
            const int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                throw pelmsg::EFileError("Cannot open file " + input + ": " + std::strerror(errno));
            struct TClose {
                int Fd;
                ~TClose() { ::close(Fd); }
            } close { fd };
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
            TMboxStretches mbox(fd, options.MboxStretchBytes, options.MaxMailBytes);
            pelmsg::TSaveOptions saveOptions;
            if (inputId)
                saveOptions.Protected.push_back(*inputId);
            pelmsg::SaveThroughTemporaryFile(
                output,
                [&](pelmsg::TStream& out) {
                    pipeline.Run([&](TJob& job) { return mbox.Next(job); },
                        [&](TJob& job) {
                            if (!job.Error.empty())
                                throw pelmsg::EFormatError(job.Error);
                            if (job.PassThrough) {
                                const std::string_view bytes = job.Buffer.View().substr(job.Begin);
                                out.Write(bytes.data(), bytes.size());
                                for (const TMail& mail : job.Mails)
                                    report(mail);
                            } else {
                                // A mail that stays as it came goes out as its stretch of the mailbox, byte for byte;
                                // the stretches of such mails one after another go out in one write, straight from
                                // the buffer they were read into.
                                const char* run = nullptr;
                                size_t runBytes = 0;
                                auto flush = [&] {
                                    if (runBytes > 0)
                                        out.Write(run, runBytes);
                                    runBytes = 0;
                                };
                                for (const TMail& mail : job.Mails) {
                                    if ((!mail.Outcome.Result.Changed && !mail.Name.empty()) || mail.OverLimit) {
                                        if (runBytes > 0 && run + runBytes != mail.Stretch.data())
                                            flush();
                                        if (runBytes == 0)
                                            run = mail.Stretch.data();
                                        runBytes += mail.Stretch.size();
                                    } else {
                                        flush();
                                        pelmsg::WriteMboxMail(out, mail.Name, body(mail));
                                    }
                                    report(mail);
                                }
                                flush();
                            }
                            mbox.GiveBack(std::move(job.Buffer));
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
