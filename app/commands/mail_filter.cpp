// The mail filter. A mail system hands a filter each mail and takes what it writes as the mail: so whatever goes
// wrong, the mail goes out as it came, and only a failed write (which the mail system sees and retries) is an error.

#include "mail_filter.h"

#include <unistd.h>

#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
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

TOutcome Unwrap(const std::string& mail)
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

} // namespace

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
    if (outcome.Result.Changed)
        return WriteAll(output, outcome.Result.Mail) ? 0 : 75;
    if (WorthSaying(outcome))
        errors << "quorra: the mail goes through as it came: " << ReasonOf(outcome) << "\n";
    return WriteAll(output, *mail) ? 0 : 75;
}

namespace {

// Mails read in order, unwrapped by workers, written in the order they came; at most `window` mails are held.
struct TJob {
    std::string Name; // the mbox "From " line, or the Maildir path
    std::string Mail;
    TOutcome Outcome;
    bool Done = false;
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
        const size_t window = 2 * threads_;
        bool more = true;
        std::deque<std::shared_ptr<TJob>> inFlight;
        for (;;) {
            while (more && inFlight.size() < window) {
                auto job = std::make_shared<TJob>();
                more = next(*job);
                if (!more)
                    break;
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
        if (job.Outcome.Result.Changed)
            ++unwrapped;
        else if (WorthSaying(job.Outcome))
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
                    job.Mail = file.ReadString(static_cast<size_t>(file.Size()));
                    return true;
                },
                [&](TJob& job) {
                    pelmsg::WriteMaildirMail(output, job.Name, body(job));
                    report(job);
                    job = {};
                });
        } else {
            pelmsg::TFileStream file(input, pelmsg::TFileStream::Mode::OpenRead);
            pelmsg::TMboxReader reader(file);
            pelmsg::TSaveOptions saveOptions;
            if (inputId)
                saveOptions.Protected.push_back(*inputId);
            pelmsg::SaveThroughTemporaryFile(
                output,
                [&](pelmsg::TStream& out) {
                    pipeline.Run([&](TJob& job) { return reader.Next(job.Name, job.Mail); },
                        [&](TJob& job) {
                            pelmsg::WriteMboxMail(out, job.Name, body(job));
                            report(job);
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
