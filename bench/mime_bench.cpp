// Unwrapping mail: an mbox of generated mails of real shapes (one in ten carries a winmail.dat) against `cat` of
// the same file; and one mail per process, as a mail system runs a filter, against `ytnefprocess` (Debian
// ytnef-tools) on the same mails. The mbox is TESSALY_MIME_BENCH_MB megabytes (1024 by default; set it smaller on
// a machine short of disk or time), made once in a temporary folder.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pelmsg.h"
#include "reference.h"

namespace {

using tessaly_bench::ReportAgainst;
using tessaly_bench::TStopwatch;

std::string Folder()
{
    static const std::string folder = [] {
        auto dir = std::filesystem::temp_directory_path() / ("mime_bench_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir.string();
    }();
    return folder;
}

std::string ReadAll(const std::string& path)
{
    pelmsg::TFileStream file(path, pelmsg::TFileStream::Mode::OpenRead);
    return file.ReadString(static_cast<size_t>(file.Size()));
}

std::string Base64(const std::string& bytes) { return pelmsg::EncodeBase64(bytes) + "\r\n"; }

// Mails of the shapes a mailbox holds: plain text, text and HTML, a picture or document attached; every tenth one
// with a winmail.dat (the sample) next to its text.
std::string MakeMail(size_t index, const std::string& tnef)
{
    const std::string n = std::to_string(index);
    std::string mail = "Return-Path: <sender" + n + "@example.org>\r\nReceived: from mx.example.org by mail.example.net"
        "\r\n\tfor <bob@example.net>; Tue, 3 Mar 2026 10:00:00 +0100\r\nFrom: Sender " + n + " <sender" + n
        + "@example.org>\r\nTo: Bob <bob@example.net>\r\nSubject: Message number " + n
        + "\r\nDate: Tue, 3 Mar 2026 10:00:00 +0100\r\nMessage-ID: <" + n + "@example.org>\r\nMIME-Version: 1.0\r\n";
    std::string text;
    for (size_t i = 0; i < 40 + index % 60; ++i)
        text += "Line " + std::to_string(i) + " of a mail that says something of no importance at all.\r\n";
    switch (index % 10) {
    case 0:
        return mail + "Content-Type: multipart/mixed; boundary=\"b" + n + "\"\r\n\r\n--b" + n
            + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" + text + "\r\n--b" + n
            + "\r\nContent-Type: application/ms-tnef; name=\"winmail.dat\"\r\nContent-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename=\"winmail.dat\"\r\n\r\n"
            + Base64(tnef) + "\r\n--b" + n + "--\r\n";
    case 1:
    case 2:
    case 3: {
        const std::string attachment(20000 + (index % 7) * 15000, static_cast<char>('a' + index % 26));
        return mail + "Content-Type: multipart/mixed; boundary=\"b" + n + "\"\r\n\r\n--b" + n
            + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" + text + "\r\n--b" + n
            + "\r\nContent-Type: application/pdf; name=\"d.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
            + Base64(attachment) + "\r\n--b" + n + "--\r\n";
    }
    case 4:
    case 5:
        return mail + "Content-Type: multipart/alternative; boundary=\"a" + n + "\"\r\n\r\n--a" + n
            + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" + text + "\r\n--a" + n
            + "\r\nContent-Type: text/html; charset=us-ascii\r\n\r\n<html><body><pre>" + text
            + "</pre></body></html>\r\n--a" + n + "--\r\n";
    default:
        return mail + "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + text;
    }
}

std::string SampleTnef() { return ReadAll(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat"); }

// The mbox, made once.
const std::string& MboxPath(size_t& mails)
{
    static size_t count = 0;
    static const std::string path = [] {
        const char* env = std::getenv("TESSALY_MIME_BENCH_MB");
        const size_t target = static_cast<size_t>(env ? std::atol(env) : 1024) * 1000 * 1000;
        const std::string file = Folder() + "/mails.mbox";
        const std::string tnef = SampleTnef();
        pelmsg::TFileStream out(file, pelmsg::TFileStream::Mode::Create);
        size_t written = 0;
        while (written < target) {
            const std::string mail = MakeMail(count++, tnef);
            pelmsg::WriteMboxMail(out, "From sender@example.org Tue Mar  3 10:00:00 2026", mail);
            written += mail.size() + 60;
        }
        out.Close();
        return file;
    }();
    mails = count;
    return path;
}

// Processor seconds (user and system) all waited-for child processes have used so far.
[[maybe_unused]] double ChildCpuSeconds()
{
    struct rusage usage { };
    ::getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds
        = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double CommandSeconds(const std::string& command)
{
    double best = 1e9;
    for (int run = 0; run < 2; ++run) {
        TStopwatch watch;
        if (std::system(command.c_str()) != 0)
            return 0;
        best = std::min(best, watch.Seconds());
    }
    return best;
}

// The library alone, one thread: read the mbox, unwrap each mail, write the new mbox.
void BM_UnwrapMboxOneThread(benchmark::State& state)
{
    size_t mails = 0;
    const std::string& input = MboxPath(mails);
    const std::string output = Folder() + "/out.mbox";
    const auto bytes = std::filesystem::file_size(input);
    double seconds = 0;
    size_t unwrapped = 0;
    for (auto _ : state) {
        TStopwatch watch;
        pelmsg::TFileStream in(input, pelmsg::TFileStream::Mode::OpenRead);
        pelmsg::TFileStream out(output, pelmsg::TFileStream::Mode::Create);
        pelmsg::TMboxReader reader(in);
        std::string from, mail;
        unwrapped = 0;
        while (reader.Next(from, mail)) {
            const pelmsg::TUnwrapResult r = pelmsg::UnwrapTnefParts(mail);
            unwrapped += r.Changed ? 1 : 0;
            pelmsg::WriteMboxMail(out, from, r.Changed ? r.Mail : mail);
        }
        out.Close();
        seconds += watch.Seconds();
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["mails"] = static_cast<double>(mails);
    state.counters["unwrapped"] = static_cast<double>(unwrapped);
    state.counters["MB_per_s"] = static_cast<double>(bytes) / 1e6 / (seconds / static_cast<double>(state.iterations()));
    ReportAgainst(state, seconds, CommandSeconds("cat '" + input + "' > '" + output + "'"), "cat of the same mbox");
}
BENCHMARK(BM_UnwrapMboxOneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

#ifdef QUORRA_BINARY
// The program: quorra /FILTER on the mbox, with a worker per processor.
void BM_FilterMboxProgram(benchmark::State& state)
{
    size_t mails = 0;
    const std::string& input = MboxPath(mails);
    const std::string output = Folder() + "/out-program.mbox";
    const auto bytes = std::filesystem::file_size(input);
    // Each program writes a new file (an old one removed first: cat over an existing gigabyte pays for its removal
    // as well), the program and cat in the same iteration, so that both see the same load. Before each, what is
    // left to write to the disk (the new mbox, the other program's output) is written outside the timing, so that
    // neither starts while the disk is still busy with the other's work.
    auto timed = [&](const std::string& command, double& cpuSeconds) {
        std::filesystem::remove(output);
        ::sync();
        const double cpuBefore = ChildCpuSeconds();
        TStopwatch watch;
        const bool ok = std::system(command.c_str()) == 0;
        const double real = watch.Seconds();
        cpuSeconds = ChildCpuSeconds() - cpuBefore;
        return ok ? real : -1.0;
    };
    double seconds = 0, cpu = 0, catSeconds = 0, catCpu = 0;
    double lowest = 1e9, highest = 0; // the program's processor time over cat's, in the best and worst iteration
    double lowestReal = 1e9, highestReal = 0; // the same for the real time
    for (auto _ : state) {
        double c = 0, cc = 0;
        const double s = timed("'" QUORRA_BINARY "' /FILTER '" + input + "' '" + output + "' 2>/dev/null", c);
        if (s < 0)
            state.SkipWithError("quorra /FILTER failed");
        const double r = timed("cat '" + input + "' > '" + output + "'", cc);
        seconds += s;
        cpu += c;
        catSeconds += r;
        catCpu += cc;
        lowest = std::min(lowest, c / std::max(1e-3, cc));
        highest = std::max(highest, c / std::max(1e-3, cc));
        lowestReal = std::min(lowestReal, s / std::max(1e-3, r));
        highestReal = std::max(highestReal, s / std::max(1e-3, r));
    }
    std::filesystem::remove(output);
    const double n = static_cast<double>(state.iterations());
    // On a machine shared with other work the real time says little; the processor time of the program against
    // that of cat (which copies in the kernel) says what the filter costs. 3 or less is a third of cat's speed.
    state.counters["cpu_s"] = cpu / n;
    state.counters["cat_cpu_s"] = catCpu / n;
    state.counters["x_cat_cpu"] = cpu / std::max(1e-3, catCpu);
    state.counters["x_cat_cpu_min"] = lowest;
    state.counters["x_cat_cpu_max"] = highest;
    state.counters["x_cat_real_min"] = lowestReal;
    state.counters["x_cat_real_max"] = highestReal;
    state.counters["MB_per_s"] = static_cast<double>(bytes) / 1e6 / (seconds / n);
    // The most memory the program held (its peak resident set): flat in the size of the mbox.
    struct rusage usage { };
    ::getrusage(RUSAGE_CHILDREN, &usage);
    state.counters["max_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
    ReportAgainst(state, seconds, catSeconds / n, "cat of the same mbox");
}
BENCHMARK(BM_FilterMboxProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Runs a program (no shell) with the file as its standard input and its output thrown away; false when it cannot be
// started or fails.
bool RunWithInput(const std::vector<std::string>& argv, const std::string& input, const std::string& home)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (home.empty() || std::string_view(*e).substr(0, 5) != "HOME=")
            env.emplace_back(*e);
    if (!home.empty())
        env.push_back("HOME=" + home);
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int started = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return started == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// One process per mail, as a mail system runs a filter: quorra /FILTER against ytnefprocess, on the same ten mails
// with a winmail.dat. Each program is started directly (no shell), and its processor time (user and system, from
// the start to the end of the process) is counted beside the real time: on a machine shared with other work the
// processor time is the steadier figure.
void BM_FilterPerMailAgainstYtnefprocess(benchmark::State& state)
{
    const std::string tnef = SampleTnef();
    std::vector<std::string> paths;
    for (size_t i = 0; i < 10; ++i) {
        const std::string path = Folder() + "/one" + std::to_string(i) + ".eml";
        pelmsg::TFileStream out(path, pelmsg::TFileStream::Mode::Create);
        out.WriteString(MakeMail(i * 10, tnef));
        out.Close();
        paths.push_back(path);
    }
    const std::string home = Folder() + "/ytnef-home";
    std::filesystem::create_directories(home + "/.ytnef");
    // Real seconds for the ten mails (or -1), and the processor seconds the processes used.
    auto run = [&](const std::vector<std::string>& program, const std::string& homeFolder, double& cpu) {
        const double cpuBefore = ChildCpuSeconds();
        TStopwatch watch;
        for (const std::string& path : paths)
            if (!RunWithInput(program, path, homeFolder))
                return -1.0;
        cpu = ChildCpuSeconds() - cpuBefore;
        return watch.Seconds();
    };
    double seconds = 0, cpu = 0, referenceSeconds = 0, referenceCpu = 0;
    for (auto _ : state) {
        double c = 0, rc = 0;
        const double s = run({ QUORRA_BINARY, "/FILTER" }, {}, c);
        if (s < 0)
            state.SkipWithError("quorra /FILTER failed");
        // The reference in the same iteration, so that both see the same load.
        const double r = run({ "ytnefprocess" }, home, rc);
        seconds += s;
        cpu += c;
        referenceSeconds += r < 0 ? 0 : r;
        referenceCpu += rc;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ms_per_mail"] = seconds / n / 10 * 1e3;
    state.counters["cpu_ms_per_mail"] = cpu / n / 10 * 1e3;
    state.counters["ytnef_cpu_ms_per_mail"] = referenceCpu / n / 10 * 1e3;
    // How many times faster than ytnefprocess: by processor time and by real time.
    state.counters["faster_cpu"] = cpu > 0 ? referenceCpu / cpu : 0;
    state.counters["faster_real"] = seconds > 0 ? referenceSeconds / seconds : 0;
    ReportAgainst(state, seconds, referenceSeconds / n, "ytnefprocess on the same 10 mails");
}
BENCHMARK(BM_FilterPerMailAgainstYtnefprocess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
#endif

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove_all(Folder());
    return 0;
}
