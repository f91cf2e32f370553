#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

#include <unicode/timezone.h>

#include "text/codepage.h"

namespace pelmsg::test {

std::string TestDataPath(const std::string& relative) { return std::string(TESSALY_TEST_DATA_DIR) + "/" + relative; }

std::string CorpusPath(const std::string& relative) { return std::string(TESSALY_CORPUS_DIR) + "/" + relative; }

bool CorpusAvailable() { return std::filesystem::is_directory(CorpusPath("tnef")); }

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

WideString W(const std::string& utf8) { return Utf8ToWide(utf8); }

std::string U8(const WideString& wide) { return WideToUtf8(wide); }

void ForEachBitFlip(const std::string& bytes, const std::function<void(std::string)>& use)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            std::string flipped = bytes;
            flipped[i] = static_cast<char>(flipped[i] ^ (1 << bit));
            use(std::move(flipped));
        }
}

CommandResult RunCommand(const std::string& command)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    CommandResult result;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.Output.append(buffer, n);
    int status = ::pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellQuote(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

ScopedTimeZone::ScopedTimeZone(const char* zone)
{
    const char* old = std::getenv("TZ");
    hadPrevious_ = old != nullptr;
    if (old)
        previous_ = old;
    setenv("TZ", zone, 1);
    tzset();
    icu::TimeZone::adoptDefault(icu::TimeZone::detectHostTimeZone());
}

ScopedTimeZone::~ScopedTimeZone()
{
    if (hadPrevious_)
        setenv("TZ", previous_.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    icu::TimeZone::adoptDefault(icu::TimeZone::detectHostTimeZone());
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace pelmsg::test
