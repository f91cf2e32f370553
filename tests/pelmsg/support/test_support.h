#pragma once

#include <functional>
#include <string>

#include "model/types.h"

namespace pelmsg::test {

// tests/data/<relative>
std::string TestDataPath(const std::string& relative);
// ../shared/corpus/<relative> (the real-world sample corpus beside the checkout)
std::string CorpusPath(const std::string& relative);
// Whether the corpus is present; corpus tests skip themselves when it is not.
bool CorpusAvailable();
// Whole file as bytes; throws std::runtime_error when it cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// UTF-16 from a UTF-8 literal, and back, for readable assertions.
WideString W(const std::string& utf8);
std::string U8(const WideString& wide);

// Calls `use` with every copy of the bytes that has one bit flipped (each bit of each byte in turn).
void ForEachBitFlip(const std::string& bytes, const std::function<void(std::string)>& use);

// What a shell command printed on standard output, and its exit code (-1 when it did not exit normally).
struct CommandResult {
    int ExitCode = -1;
    std::string Output;
};
// Runs a command through the shell; throws std::runtime_error when it cannot be started.
CommandResult RunCommand(const std::string& command);
// The text between single quotes, safe as one shell word.
std::string ShellQuote(const std::string& text);

// Sets TZ for the lifetime of the object (and makes ICU forget its cached default zone).
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::string previous_;
    bool hadPrevious_;
};

// A private temporary folder, removed with everything in it by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace pelmsg::test
