// The one save function: what happens to each kind of target, what an error names, and that nothing of the
// user's is lost on failure or on a signal.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "pelmsg.h"
#include "test_support.h"

using namespace pelmsg;
using namespace pelmsg::test;

namespace {

// Names in a folder that look like our temporary files.
std::vector<std::string> TemporaryFilesIn(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".~") != std::string::npos && name.size() > 4 && name.substr(name.size() - 4) == ".tmp")
            found.push_back(name);
    }
    return found;
}

bool IsSymlink(const std::string& path)
{
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EPelMsgError& e) {
        return e.what();
    }
    return {};
}

void SaveText(const std::string& target, const std::string& text, const TSaveOptions& options = {})
{
    SaveThroughTemporaryFile(
        target, [&](TStream& s) { s.WriteString(text); }, options);
}

} // namespace

TEST(SafeSave, EveryKindOfTargetIsWrittenWhereTheUserMeantIt)
{
    struct Case {
        const char* what;
        // Prepares the folder and returns the target to give the save.
        std::function<std::string(const TempDir&)> setUp;
        // Checks the folder afterwards.
        std::function<void(const TempDir&)> check;
    };
    const Case cases[] = {
        { "a new file", [](const TempDir& d) { return d.File("new.txt"); },
            [](const TempDir& d) { EXPECT_EQ(ReadFileBytes(d.File("new.txt")), "new content"); } },
        { "an existing file is replaced whole",
            [](const TempDir& d) {
                WriteFileBytes(d.File("old.txt"), std::string(5000, 'o'));
                return d.File("old.txt");
            },
            [](const TempDir& d) { EXPECT_EQ(ReadFileBytes(d.File("old.txt")), "new content"); } },
        { "a symbolic link: the file it points to is replaced, the link stays",
            [](const TempDir& d) {
                std::filesystem::create_directory(d.File("real"));
                WriteFileBytes(d.File("real/file.txt"), "old");
                std::filesystem::create_symlink("real/file.txt", d.File("link.txt"));
                return d.File("link.txt");
            },
            [](const TempDir& d) {
                EXPECT_TRUE(IsSymlink(d.File("link.txt")));
                EXPECT_EQ(std::filesystem::read_symlink(d.File("link.txt")).string(), "real/file.txt");
                EXPECT_EQ(ReadFileBytes(d.File("real/file.txt")), "new content");
                EXPECT_TRUE(TemporaryFilesIn(d.File("real")).empty());
            } },
        { "a chain of links, relative and absolute",
            [](const TempDir& d) {
                WriteFileBytes(d.File("end.txt"), "old");
                std::filesystem::create_symlink(d.File("end.txt"), d.File("middle"));
                std::filesystem::create_symlink("middle", d.File("first"));
                return d.File("first");
            },
            [](const TempDir& d) {
                EXPECT_TRUE(IsSymlink(d.File("first")));
                EXPECT_TRUE(IsSymlink(d.File("middle")));
                EXPECT_EQ(ReadFileBytes(d.File("end.txt")), "new content");
            } },
        { "a link to a file not there yet creates that file",
            [](const TempDir& d) {
                std::filesystem::create_symlink("made.txt", d.File("dangling"));
                return d.File("dangling");
            },
            [](const TempDir& d) {
                EXPECT_TRUE(IsSymlink(d.File("dangling")));
                EXPECT_EQ(ReadFileBytes(d.File("made.txt")), "new content");
            } },
        { "a device is written in place", [](const TempDir&) { return std::string("/dev/null"); },
            [](const TempDir&) {
                struct stat st { };
                ASSERT_EQ(::stat("/dev/null", &st), 0);
                EXPECT_TRUE(S_ISCHR(st.st_mode));
            } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string target = c.setUp(dir);
        EXPECT_EQ(ErrorOf([&] { SaveText(target, "new content"); }), "");
        c.check(dir);
        EXPECT_TRUE(TemporaryFilesIn(dir.Path()).empty());
    }
}

TEST(SafeSave, AFifoIsWrittenInPlaceAndStaysAFifo)
{
    TempDir dir;
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadFileBytes(fifo); });
    const std::string big(300000, 'x'); // more than one write buffer
    EXPECT_EQ(ErrorOf([&] { SaveText(fifo, big); }), "");
    reader.join();
    EXPECT_EQ(received.size(), big.size());
    struct stat st { };
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(TemporaryFilesIn(dir.Path()).empty());
}

TEST(SafeSave, RefusalsAndFailuresNameTheTargetAndKeepWhatWasThere)
{
    TempDir dir;
    WriteFileBytes(dir.File("input.dat"), "the message");
    ::link(dir.File("input.dat").c_str(), dir.File("hard.dat").c_str());
    std::filesystem::create_symlink("input.dat", dir.File("soft.dat"));
    std::filesystem::create_directory(dir.File("folder"));
    TSaveOptions protect;
    protect.Protected.push_back(*TFileIdentity::Of(dir.File("input.dat")));
    struct Case {
        std::string target;
        TSaveOptions options;
        std::string error; // the whole text
    };
    const Case cases[] = {
        { dir.File("input.dat"), protect,
            "Cannot create file " + dir.File("input.dat") + ": it is the file being read" },
        { dir.File("hard.dat"), protect, "Cannot create file " + dir.File("hard.dat") + ": it is the file being read" },
        { dir.File("soft.dat"), protect, "Cannot create file " + dir.File("soft.dat") + ": it is the file being read" },
        { dir.File("folder"), {}, "Cannot create file " + dir.File("folder") + ": it is a folder" },
        { dir.File("missing/x.txt"), {},
            "Cannot create file " + dir.File("missing/x.txt") + ": No such file or directory" },
        { "", {}, "Cannot create file " },
        { "/dev/full", {}, "Cannot write file /dev/full: No space left on device" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(ErrorOf([&] { SaveText(c.target, "output", c.options); }), c.error);
    }
    EXPECT_EQ(ReadFileBytes(dir.File("input.dat")), "the message");
    EXPECT_TRUE(IsSymlink(dir.File("soft.dat")));
    EXPECT_TRUE(TemporaryFilesIn(dir.Path()).empty());

    // A writer that fails leaves the previous file as it was and no temporary file.
    WriteFileBytes(dir.File("kept.txt"), "previous");
    EXPECT_EQ(ErrorOf([&] {
        SaveThroughTemporaryFile(dir.File("kept.txt"), [](TStream& s) {
            s.WriteString("half");
            throw EFileError("writer gave up");
        });
    }),
        "writer gave up");
    EXPECT_EQ(ReadFileBytes(dir.File("kept.txt")), "previous");
    EXPECT_TRUE(TemporaryFilesIn(dir.Path()).empty());
}

TEST(SafeSave, AWriteErrorNamesTheTargetNotTheTemporaryFile)
{
    // A file-size limit makes the temporary file's writes fail (EFBIG); the child process reports the error text.
    TempDir dir;
    WriteFileBytes(dir.File("out.txt"), "previous");
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit { 4096, 4096 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string text = ErrorOf([&] { SaveText(dir.File("out.txt"), std::string(1 << 20, 'x')); });
        (void)!::write(pipeFds[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(text.rfind("Cannot write file " + dir.File("out.txt") + ": ", 0), 0u) << text;
    EXPECT_EQ(text.find(".tmp"), std::string::npos) << text;
    EXPECT_EQ(ReadFileBytes(dir.File("out.txt")), "previous");
    EXPECT_TRUE(TemporaryFilesIn(dir.Path()).empty());
}

TEST(SafeSave, StandardOutputIsWrittenForADash)
{
    TempDir dir;
    const std::string captured = dir.File("stdout.txt");
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int file = ::open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    ::dup2(file, STDOUT_FILENO);
    ::close(file);
    const std::string error = ErrorOf([&] { SaveText("-", "to the pipe"); });
    // Standard output redirected into the file being read is refused like the file itself.
    TSaveOptions protect;
    protect.Protected.push_back(*TFileIdentity::Of(captured));
    const std::string refused = ErrorOf([&] { SaveText("-", "again", protect); });
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    EXPECT_EQ(error, "");
    EXPECT_EQ(refused, "Cannot create file standard output: it is the file being read");
    EXPECT_EQ(ReadFileBytes(captured), "to the pipe");
    EXPECT_FALSE(std::filesystem::exists(dir.File("-")));
}

TEST(SafeSave, ASignalDuringTheSaveRemovesTheTemporaryFile)
{
    TempDir dir;
    WriteFileBytes(dir.File("out.txt"), "previous");
    for (int signal : { SIGTERM, SIGINT }) {
        SCOPED_TRACE(signal);
        EXPECT_EXIT(SaveThroughTemporaryFile(dir.File("out.txt"),
                        [&](TStream& s) {
                            s.WriteString(std::string(1 << 20, 'x'));
                            ::raise(signal);
                        }),
            ::testing::KilledBySignal(signal), "");
        EXPECT_EQ(ReadFileBytes(dir.File("out.txt")), "previous");
        EXPECT_TRUE(TemporaryFilesIn(dir.Path()).empty());
    }
}

TEST(SafeSave, AMessageNeverReplacesTheFileItWasReadFrom)
{
    TempDir dir;
    const std::string input = dir.File("winmail.dat");
    const std::string original = ReadFileBytes(std::string(TESSALY_SOURCE_DIR) + "/samples/winmail.dat");
    WriteFileBytes(input, original);
    std::filesystem::create_symlink("winmail.dat", dir.File("link.dat"));
    std::unique_ptr<TPelMessage> message = CreateMessageForFile(input);
    message->LoadFromFile(input);
    const std::function<void(const std::string&)> saves[] = {
        [&](const std::string& f) { SaveToTextFile(message->Properties(), f, true); },
        [&](const std::string& f) { SaveToHTMLFile(message->Properties(), f, true); },
        [&](const std::string& f) { SaveToXMLFile(message->Properties(), f, true); },
        [&](const std::string& f) { SaveToEMLFile(message->Properties(), f); },
        [&](const std::string& f) { SaveToMSGFile(message->Properties(), f, true); },
        [&](const std::string& f) { SaveAttachmentToFile(message->Properties(), 0, f); },
    };
    for (const auto& save : saves) {
        for (const std::string& target : { input, dir.File("link.dat") }) {
            EXPECT_EQ(ErrorOf([&] { save(target); }), "Cannot create file " + target + ": it is the file being read");
        }
        EXPECT_EQ(ErrorOf([&] { save(dir.File("other")); }), "");
    }
    EXPECT_EQ(ReadFileBytes(input), original);
    EXPECT_TRUE(TemporaryFilesIn(dir.Path()).empty());
}

// A save cancelled from another thread: whether the flag is set before the first write, between writes or after
// the last one (before the commit), the temporary file goes and the target keeps what it held. Without a cancel
// the bytes written are counted.
TEST(SafeSave, ACancelledSaveLeavesTheTargetAndNoTemporaryFile)
{
    const std::string chunk(1000, 'x');
    for (int cancelAfter : { 0, 2, 5, -1 }) {
        SCOPED_TRACE(cancelAfter);
        TempDir dir;
        const std::string target = dir.File("old.txt");
        WriteFileBytes(target, "old content");
        TSaveControl control;
        std::thread worker([&] {
            TSaveControlScope scope(control);
            auto write = [&](TStream& out) {
                for (int i = 0; i < 5; ++i) {
                    if (i == cancelAfter)
                        control.Cancelled = true;
                    out.Write(chunk.data(), chunk.size());
                }
                if (cancelAfter == 5)
                    control.Cancelled = true;
            };
            if (cancelAfter < 0)
                SaveThroughTemporaryFile(target, write);
            else
                EXPECT_THROW(SaveThroughTemporaryFile(target, write), ESaveCancelled);
        });
        worker.join();
        EXPECT_TRUE(TemporaryFilesIn(dir.Path()).empty());
        EXPECT_EQ(ReadFileBytes(target), cancelAfter < 0 ? std::string(5 * chunk.size(), 'x') : "old content");
        EXPECT_EQ(control.Written, cancelAfter < 0 ? 5000 : 1000 * cancelAfter);
    }
    // The scope belongs to its thread: a save on another thread is neither counted nor cancelled by it.
    TSaveControl other;
    other.Cancelled = true;
    TSaveControlScope scope(other);
    TempDir dir;
    std::thread([&] { SaveThroughTemporaryFile(dir.File("n.txt"), [&](TStream& out) { out.Write("ab", 2); }); }).join();
    EXPECT_EQ(ReadFileBytes(dir.File("n.txt")), "ab");
}

// The data reaches the disk before the rename only where the rename replaces a file the user had (also through a
// link); a new name, a dangling link's new target and a FIFO written in place wait for no disk.
TEST(SafeSave, OnlyAReplacedFileIsFlushedToTheDiskBeforeItsRename)
{
    TempDir dir;
    WriteFileBytes(dir.File("old.txt"), "old content");
    ASSERT_EQ(::symlink("old.txt", dir.File("link-to-old").c_str()), 0);
    ASSERT_EQ(::symlink("missing.txt", dir.File("link-to-new").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    const struct {
        const char* Name;
        bool Synced;
    } cases[] = { { "old.txt", true }, { "link-to-old", true }, { "new.txt", false }, { "link-to-new", false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TSafeFileStream file(dir.File(c.Name));
        file.WriteString("new content");
        EXPECT_FALSE(file.SyncedBeforeRename());
        file.Commit();
        EXPECT_EQ(file.SyncedBeforeRename(), c.Synced);
        EXPECT_EQ(ReadFileBytes(dir.File(c.Name)), "new content");
        EXPECT_TRUE(TemporaryFilesIn(dir.Path()).empty());
    }
    EXPECT_EQ(ReadFileBytes(dir.File("missing.txt")), "new content");
    std::string read;
    std::thread reader([&] { read = ReadFileBytes(dir.File("fifo")); });
    TSafeFileStream fifo(dir.File("fifo"));
    fifo.WriteString("through the fifo");
    fifo.Commit();
    reader.join();
    EXPECT_FALSE(fifo.SyncedBeforeRename());
    EXPECT_EQ(read, "through the fifo");
}
