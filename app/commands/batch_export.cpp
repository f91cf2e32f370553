#include "batch_export.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <thread>

#include "pelmsg.h"

namespace quorra {

std::string BatchOutputPath(
    const std::string& input, const std::string& folder, const std::string& extension, std::vector<std::string>& taken)
{
    const std::string beside = ReplaceExtension(ExpandFileName(input), extension);
    const std::string name = beside.substr(beside.rfind('/') + 1);
    const std::string base = folder.empty() ? beside.substr(0, beside.rfind('/') + 1) : folder + "/";
    const std::string stem = name.substr(0, name.size() - extension.size());
    std::string path = base + name;
    for (int n = 2; std::find(taken.begin(), taken.end(), path) != taken.end(); ++n)
        path = base + stem + " (" + std::to_string(n) + ")" + extension;
    taken.push_back(path);
    return path;
}

int RunBatchExport(const TCommandLine& commandLine,
    const std::function<int(const std::vector<std::string>& arguments)>& convertOne, std::ostream& progress,
    bool showProgress)
{
    const std::string& format = commandLine.ExportFormat;
    const std::string extension = format == ".WEBPAGE" ? ".HTML" : format;
    // The run's switches go to every conversion; the files, "/E", the format and the folder do not.
    std::vector<std::string> switches;
    for (const std::string& a : commandLine.Arguments)
        if (IsSwitch(a) && pelmsg::UpperAscii(a) != "/E" && pelmsg::UpperAscii(a) != "-E"
            && pelmsg::UpperAscii(a) != "--E")
            switches.push_back(a);
    const std::vector<std::string>& files = commandLine.BatchFiles;
    std::vector<std::string> taken;
    std::vector<std::string> outputs;
    for (const std::string& file : files)
        outputs.push_back(BatchOutputPath(file, commandLine.OutputPath, extension, taken));

    const size_t jobs = std::max(1u, std::thread::hardware_concurrency());
    std::map<pid_t, size_t> running;
    size_t next = 0, done = 0;
    int result = 0;
    auto finished = [&](int status, size_t index) {
        if (status == 3 && result == 0)
            result = 3;
        else if (status != 0 && status != 3)
            result = 1;
        ++done;
        if (showProgress) {
            const std::string& file = files[index];
            progress << "\r[" << done << "/" << files.size() << "] " << file.substr(file.rfind('/') + 1) << "\x1b[K"
                     << std::flush;
        }
    };
    while (next < files.size() || !running.empty()) {
        while (running.size() < jobs && next < files.size()) {
            std::vector<std::string> arguments
                = { files[next], "/E", pelmsg::LowerAscii(format.substr(1)), outputs[next] };
            arguments.insert(arguments.end(), switches.begin(), switches.end());
            progress.flush();
            const pid_t pid = ::fork();
            if (pid == 0)
                ::_exit(convertOne(arguments));
            if (pid < 0) {
                finished(1, next++);
                continue;
            }
            running[pid] = next++;
        }
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, 0);
        if (pid < 0)
            break;
        const auto it = running.find(pid);
        if (it == running.end())
            continue;
        finished(WIFEXITED(status) ? WEXITSTATUS(status) : 1, it->second);
        running.erase(it);
    }
    if (showProgress)
        progress << "\n";
    return result;
}

} // namespace quorra
