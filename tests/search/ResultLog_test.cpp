#include "search/ResultLog.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(ResultLog, PathForReplacesTheExtension)
{
    EXPECT_EQ(ResultLog::PathFor("/opt/sifton/sifton"), "/opt/sifton/sifton.out");
    EXPECT_EQ(ResultLog::PathFor("/opt/a.b/search.exe"), "/opt/a.b/search.out");
}

TEST(ResultLog, EntriesEndWithByte13Only)
{
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    log.WriteLogLine("one");
    log.WriteLogLine("");
    log.WriteLogLine("two\nlines");
    log.Flush();
    EXPECT_EQ(TempDir::Read(dir.Path() / "s.out"), "one\r\rtwo\nlines\r");
    EXPECT_EQ(log.ReadAll(), "one\r\rtwo\nlines\r");
}

TEST(ResultLog, ReadingOnlyTheStartStillLeavesThePositionAtTheEnd)
{
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    log.WriteLogLine("first");
    log.WriteLogLine("second");
    log.Rewind();
    EXPECT_EQ(log.ReadAll(3), "fir");
    log.WriteLogLine("third");
    EXPECT_EQ(log.ReadAll(100), "first\rsecond\rthird\r");
    EXPECT_EQ(log.ReadAll(0), "");
}

TEST(ResultLog, CreateEmptiesAnExistingFile)
{
    TempDir dir;
    const std::string path = dir.Write("s.out", "old contents");
    ResultLog log;
    log.Create(path);
    EXPECT_EQ(TempDir::Read(path), "");
    EXPECT_EQ(log.Path(), path);
}

TEST(ResultLog, EmptyingThenWritingHoldsOnlyTheNewEntry)
{
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    log.WriteLogLine("before");
    log.Flush();
    log.WriteLogLine("buffered");
    log.Clear();
    log.WriteLogLine("after");
    EXPECT_EQ(log.ReadAll(), "after\r");
    EXPECT_EQ(TempDir::Read(dir.Path() / "s.out"), "after\r");
}

TEST(ResultLog, RewindThenReadLeavesPositionAtEndSoRunsAppend)
{
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    log.WriteLogLine("run1");
    log.Rewind();
    EXPECT_EQ(log.ReadAll(), "run1\r");
    log.WriteLogLine("run2");
    log.Rewind();
    EXPECT_EQ(log.ReadAll(), "run1\rrun2\r");
}

TEST(ResultLog, WritingAfterRewindOverwritesFromTheStart)
{
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    log.WriteLogLine("abcdef");
    log.Rewind();
    log.WriteLogLine("xy");
    EXPECT_EQ(log.ReadAll(), "xy\rdef\r");
}

TEST(ResultLog, CopyHoldsTheWholeLogAndReplacesTheTarget)
{
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    const std::string target = dir.Write("copy.txt", "something much longer than the log");
    log.WriteLogLine("a");
    log.WriteLogLine("b");
    log.CopyLogTo(target);
    EXPECT_EQ(TempDir::Read(target), "a\rb\r");
    log.WriteLogLine("c"); // the position is left at the end
    EXPECT_EQ(log.ReadAll(), "a\rb\rc\r");
}

TEST(ResultLog, CopyOfAnEmptyLogIsAnEmptyFile)
{
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    const std::string target = (dir.Path() / "empty.txt").string();
    log.CopyLogTo(target);
    ASSERT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(std::filesystem::file_size(target), 0u);
}

TEST(ResultLog, CopyOntoItselfKeepsTheLog)
{
    TempDir dir;
    const std::string path = (dir.Path() / "s.out").string();
    ResultLog log;
    log.Create(path);
    log.WriteLogLine("keep me");
    log.CopyLogTo(path);
    EXPECT_EQ(log.ReadAll(), "keep me\r");
}

TEST(ResultLog, FailuresNameTheFullPath)
{
    TempDir dir;
    ResultLog log;
    EXPECT_THROW(
        {
            try {
                log.Create("/nonexistent-folder/s.out");
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "Cannot create file /nonexistent-folder/s.out");
                throw;
            }
        },
        std::runtime_error);
    log.Create((dir.Path() / "s.out").string());
    log.WriteLogLine("x");
    try {
        log.CopyLogTo(dir.Path().string()); // a folder where a file is expected
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir.Path().string());
    }
    try {
        log.CopyLogTo("/dev/full");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unable to write to /dev/full");
    }
}

// A FIFO as the copy's target would hold the window in open() until a reader came; it is refused at
// once. Should the copy wait after all, a reader comes after a while, so a regression fails here.
TEST(ResultLog, CopyIntoAFifoIsRefusedWithoutWaiting)
{
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    log.WriteLogLine("x");
    const std::string fifo = (dir.Path() / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> copied{false};
    std::thread reader([&] {
        for (int i = 0; i < 300 && !copied; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const int fd = copied ? -1 : ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        while (!copied) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (fd >= 0) {
            ::close(fd);
        }
    });
    std::string error;
    try {
        log.CopyLogTo(fifo);
    } catch (const std::runtime_error& e) {
        error = e.what();
    }
    copied = true;
    reader.join();
    EXPECT_EQ(error, "Cannot create file " + fifo);
}

// The log cut short behind its back (another program, a read error) gives a short copy, which must be
// reported, not pass for the whole log.
TEST(ResultLog, ShortCopyIsReported)
{
    TempDir dir;
    ResultLog log;
    const std::string path = (dir.Path() / "s.out").string();
    log.Create(path);
    for (int i = 0; i < 1000; ++i) {
        log.WriteLogLine("an entry of the log");
    }
    log.Flush();
    ASSERT_EQ(::truncate(path.c_str(), 100), 0);
    const std::string copy = (dir.Path() / "copy.txt").string();
    try {
        log.CopyLogTo(copy);
        FAIL() << "a copy of " << std::filesystem::file_size(copy) << " bytes passed for the whole log";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + copy);
    }
}

TEST(ResultLog, RelativePathIsReportedInFull)
{
    ResultLog log;
    try {
        log.Create("no-such-folder-here/s.out");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        const std::string expected =
            "Cannot create file " + (std::filesystem::current_path() / "no-such-folder-here/s.out").string();
        EXPECT_EQ(std::string(e.what()), expected);
    }
}

TEST(ResultLog, SecondCopyCannotCreateItAndLeavesTheFirstOnesEntries)
{
    TempDir dir;
    const std::string path = (dir.Path() / "s.out").string();
    ResultLog first;
    first.Create(path);
    first.WriteLogLine("mine");
    first.Flush();

    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        int code = 1;
        try {
            ResultLog second;
            second.Create(path);
            code = 0;
        } catch (const std::runtime_error& e) {
            code = std::string(e.what()) == "Cannot create file " + path ? 3 : 2;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(TempDir::Read(path), "mine\r");
}

TEST(ResultLog, ReleasedWhenTheOwnerEnds)
{
    TempDir dir;
    const std::string path = (dir.Path() / "s.out").string();
    {
        ResultLog first;
        first.Create(path);
        first.WriteLogLine("unflushed");
    }
    EXPECT_EQ(TempDir::Read(path), "unflushed\r");
    ResultLog second;
    EXPECT_NO_THROW(second.Create(path));
}

TEST(ResultLog, EmptyingWhileAnotherThreadWritesNeverSplitsAnEntry)
{
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "s.out").string());
    const std::string entry(300, 'e');
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            log.WriteLogLine(entry);
        }
    });
    for (int i = 0; i < 50; ++i) {
        log.Clear();
        std::this_thread::yield();
    }
    writer.join();
    const std::string all = log.ReadAll();
    ASSERT_EQ(all.size() % (entry.size() + 1), 0u);
    for (std::size_t at = 0; at < all.size(); at += entry.size() + 1) {
        ASSERT_EQ(all.compare(at, entry.size() + 1, entry + "\r"), 0) << "at " << at;
    }
    EXPECT_EQ(TempDir::Read(dir.Path() / "s.out"), all);
}

TEST(ResultLog, WritingWithoutALogFails)
{
    ResultLog log;
    EXPECT_THROW(log.WriteLogLine("x"), std::runtime_error);
}

} // namespace

namespace {

/// Runs check in a child process where files may grow to at most limit bytes (SIGXFSZ ignored, so
/// a write past it just fails); gives the child's exit status.
int WithFileSizeLimit(rlim_t limit, const std::function<int()>& check)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{};
        ::getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = limit;
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) {
            ::_exit(90);
        }
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

void RaiseFileSizeLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(ResultLog, FailedWriteLeavesTheBookkeepingOfTheDiskAndTheNextRunAppendsAfterIt)
{
    TempDir dir;
    const std::string path = (dir.Path() / "full.out").string();
    const int status = WithFileSizeLimit(10050, [&] {
        ResultLog log;
        log.Create(path);
        const std::string entry(99, 'e'); // 100 bytes with its byte 13
        int failures = 0;
        std::string message;
        for (int i = 0; i < 200; ++i) {
            try {
                log.WriteLogEntries(entry + "\r" + entry.substr(0, 40)); // ends inside an entry
                log.WriteLogEntries(entry.substr(40) + "\r");
                log.Flush();
            } catch (const std::runtime_error& error) {
                ++failures;
                message = error.what();
                break;
            }
        }
        if (failures != 1 || message != "Unable to write to " + path) {
            return 1;
        }
        const std::string onDisk = TempDir::Read(path);
        if (log.Size() != static_cast<std::int64_t>(onDisk.size()) || onDisk.empty() ||
            onDisk.back() != '\r' || onDisk.size() % 100 != 0) {
            return 2; // the length counts bytes that never reached the disk, or half an entry stayed
        }
        RaiseFileSizeLimit();
        log.WriteLogLine("next run");
        if (log.ReadAll() != onDisk + "next run\r" || TempDir::Read(path) != onDisk + "next run\r") {
            return 3; // a hole, or the entry is not right after the real end
        }
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(ResultLog, AnEntryDroppedBeforeItsEndLeavesTheLogAsBefore)
{
    TempDir dir;
    ResultLog log;
    const std::string path = (dir.Path() / "s.out").string();
    log.Create(path);
    log.WriteLogLine("kept");
    log.WriteLogEntries("also kept\rpart of a long ");
    log.WriteLogEntries(std::string(3 << 20, 'x')); // past the buffer: part of it is on disk already
    log.DropOpenEntry();
    log.WriteLogLine("next");
    EXPECT_EQ(log.ReadAll(), "kept\ralso kept\rnext\r");
    EXPECT_EQ(TempDir::Read(path), "kept\ralso kept\rnext\r");
}

} // namespace
