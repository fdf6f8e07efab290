// The scan when something outside goes wrong: a mapped file cut short by another thread at any
// moment, lines far longer than any buffer (mapped and piped) under a memory limit, a cancel in the
// middle of an endless line, a listed path that has become a FIFO, and a fault on a mapped file
// that is not a shortening.

#include "search/FastScan.h"
#include "search/ResultLog.h"
#include "search/RunFlags.h"
#include "search/SearchRun.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/MemoryLimit.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

/// Reads nothing but regular files unless told otherwise, as the window reads its list.
struct ListHost final : RecordingHost {
    ListHost() { AnyKind = false; }
};

/// Runs work on its own thread; false when it has not ended within limit (it is then left running,
/// and the test process ends at once, since whatever it holds can no longer be trusted).
bool EndsWithin(std::chrono::seconds limit, const std::function<void()>& work)
{
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    std::thread worker([&] {
        work();
        std::lock_guard guard(lock);
        done = true;
        ended.notify_one();
    });
    std::unique_lock guard(lock);
    if (!ended.wait_for(guard, limit, [&] { return done; })) {
        ADD_FAILURE() << "still running after " << limit.count() << " s";
        std::fflush(nullptr);
        std::_Exit(1);
    }
    guard.unlock();
    worker.join();
    return true;
}

/// The first bytes of a text, enough to tell an entry in a message.
std::string Head(const std::string& text)
{
    return text.size() <= 60 ? text : text.substr(0, 60) + "... (" + std::to_string(text.size()) + " bytes)";
}

/// The decimal number the text is, or nothing.
std::optional<std::size_t> Number(std::string_view text)
{
    const bool digits = std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (text.empty() || text.size() > 9 || !digits) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(std::stoul(std::string(text)));
}

std::vector<std::string> SplitEntries(const std::string& log)
{
    std::vector<std::string> entries;
    std::size_t from = 0;
    for (std::size_t cr = log.find('\r'); cr != std::string::npos; cr = log.find('\r', from)) {
        entries.push_back(log.substr(from, cr - from));
        from = cr + 1;
    }
    EXPECT_EQ(from, log.size()) << "the log ends inside an entry";
    return entries;
}

// Rounds take turns: the walk on one thread, the walk whose scan threads read ahead of the writer
// (which takes a dropped entry back through a recorded item), and that walk with the file split into
// chunks that the scan threads read at once, so that the cut lands while several are in flight.
TEST(FastScanFaults, FileTruncatedAtAnyMomentLeavesWholeEntriesAndTheRunGoesOn)
{
    std::mt19937 rng(1508);
    TempDir dir;
    ResultLog log;
    log.Create((dir.Path() / "run.out").string());
    int shortened = 0;
    int splitShortened = 0;
    for (int round = 0; round < 90; ++round) {
        // Short lines and lines longer than every buffer, a third of them holding the string.
        std::vector<std::string> lines;
        std::vector<std::size_t> starts;
        std::string text;
        const bool dos = rng() % 2 == 0;
        for (int i = 0; text.size() < (3u << 20); ++i) {
            std::string line = "L" + std::to_string(i) + (i % 3 == 0 ? " hit " : " miss ");
            line.append(rng() % 12 == 0 ? 300'000 + rng() % 300'000 : rng() % 80,
                        static_cast<char>('a' + i % 26));
            starts.push_back(text.size());
            text += line;
            text += dos ? "\r\n" : "\n";
            lines.push_back(line);
        }
        text += "L" + std::to_string(lines.size()) + " hit at the end without a line end";
        starts.push_back(text.rfind('L'));
        lines.push_back(text.substr(starts.back()));
        const std::string victim = dir.Write("victim.txt", text);
        const std::string next = dir.Write("next.txt", "the next file's hit\r\n");

        SearchInputs in;
        in.String1 = "hit";
        in.LineFormat = dos ? LineFormat::Dos : LineFormat::Unix;
        in.LineNumbering = rng() % 2 == 0;
        in.ReverseLogic = rng() % 2 == 0;
        ListHost host;
        host.Files = {victim, next};
        // The cut is timed from the victim's open, so that it lands while the file is read
        // however busy the machine is; with no delay it may also come before the file is mapped.
        std::mutex openLock;
        std::condition_variable opened;
        bool victimOpened = false;
        host.OnOpen = [&](const std::string& name) {
            if (name == victim) {
                std::lock_guard guard(openLock);
                victimOpened = true;
                opened.notify_one();
            }
        };
        log.Clear();
        const int mode = round % 3;
        SearchRequest request = PrepareRequest(in);
        if (mode == 2) {
            request.RefreshRate = 1 + static_cast<std::int32_t>(rng() % 8); // a few hundred lines
        }
        SearchRun run(request, log, host, ",");
        run.SetThreads(mode == 0 ? 1 : 2);
        const auto cut = static_cast<off_t>(rng() % text.size());
        const auto delay = std::chrono::microseconds(rng() % 1000);
        int updates = 0;
        const int cutAtUpdate = 1 + static_cast<int>(rng() % 4);
        if (mode == 2) {
            // Cut by the writer at a periodic update, so that it lands while chunks are in flight
            // however the threads are scheduled: a small scan-ahead limit holds the later ones back.
            run.SetFileSplit(1, 4096 + static_cast<std::int64_t>(rng() % (256 * 1024)));
            run.SetScanAheadLimit(1 + rng() % 65536);
            host.OnTitle = [&] {
                if (++updates == cutAtUpdate) {
                    EXPECT_EQ(::truncate(victim.c_str(), cut), 0);
                }
            };
        }
        std::thread cutter([&] {
            if (mode == 2) {
                return;
            }
            {
                std::unique_lock guard(openLock);
                opened.wait_for(guard, 60s, [&] { return victimOpened; });
            }
            std::this_thread::sleep_for(delay);
            EXPECT_EQ(::truncate(victim.c_str(), cut), 0);
        });
        EndsWithin(60s, [&] {
            CancelRequested = false;
            run.Walk();
            SearchRunning = false;
            // Every later use of the log goes on as well.
            log.WriteLogLine("after");
            log.Flush();
        });
        cutter.join();

        const std::string what = "round " + std::to_string(round) +
                                 (mode == 0   ? ", one thread"
                                  : mode == 1 ? ", two threads"
                                              : ", in chunks");
        if (!host.Failures().empty()) {
            EXPECT_EQ(host.Failures(),
                      std::vector<std::string>{victim + "|" + std::string(ShortenedFileReason)})
                << what;
            ++shortened;
            splitShortened += mode == 2 ? 1 : 0;
        }
        // A file cut before it was opened simply ends there: its last line is what is left of it.
        const std::size_t cutLine = static_cast<std::size_t>(
            std::upper_bound(starts.begin(), starts.end(), static_cast<std::size_t>(cut)) - starts.begin() -
            1);
        const std::string leftOfCutLine =
            text.substr(starts[cutLine], static_cast<std::size_t>(cut) - starts[cutLine]);
        const std::vector<std::string> entries = SplitEntries(log.ReadAll());
        ASSERT_GE(entries.size(), 1u) << what;
        EXPECT_TRUE(entries.back() == "after") << what << ": the last entry is " << Head(entries.back());
        for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
            std::string entry = entries[i];
            if (entry.find("the next file") != std::string::npos) {
                continue;
            }
            std::size_t number = 0;
            if (in.LineNumbering) {
                const std::size_t colon = entry.find(" : ");
                const std::optional<std::size_t> n =
                    colon != std::string::npos ? Number(entry.substr(0, colon)) : std::nullopt;
                ASSERT_TRUE(n && *n >= 1 && *n <= lines.size())
                    << what << ": entry " << i << " has no line number: " << Head(entry);
                number = *n;
                entry.erase(0, colon + 3);
            } else {
                const std::optional<std::size_t> n =
                    entry.starts_with("L") ? Number(entry.substr(1, entry.find(' ') - 1)) : std::nullopt;
                ASSERT_TRUE(n && *n < lines.size())
                    << what << ": entry " << i << " is a piece of a line: " << Head(entry);
                number = *n + 1;
            }
            EXPECT_TRUE(entry == lines[number - 1] || (number - 1 == cutLine && entry == leftOfCutLine))
                << what << ": entry " << i << " is not line " << number << " but " << entry.size()
                << " bytes of its " << lines[number - 1].size() << " (reverse " << in.ReverseLogic << ", dos "
                << dos << ", cut at " << cut << ", failures " << host.Failures().size()
                << "), NUL bytes: " << (entry.find('\0') != std::string::npos);
        }
        // The run went on with the next file.
        const bool nextSearched = std::any_of(entries.begin(), entries.end(), [](const std::string& e) {
            return e.ends_with("the next file's hit");
        });
        EXPECT_EQ(nextSearched, !in.ReverseLogic) << what;
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_GT(shortened, 0) << "no round cut the file while it was read";
    EXPECT_GT(splitShortened, 0) << "no round cut a split file while it was read";
}

// The scan has already seen where the line ends when the cut comes: the rest of the line now reads
// as zero bytes up to the end of its page, without a fault, and must not reach the log.
TEST(FastScanFaults, ALineCutAfterItsEndWasSeenIsNotReportedWithTheZerosAfterTheCut)
{
    TempDir dir;
    std::string text;
    std::vector<std::string> lines;
    for (int i = 0; text.size() < (2u << 20); ++i) {
        std::string line = "hit " + std::to_string(i);
        line.resize(99, '.');
        lines.push_back(line);
        text += line + "\n";
    }
    // The first window of 1 MiB ends after the last line end before 1 MiB; cut inside that line.
    const std::size_t windowEnd = text.rfind('\n', (1u << 20) - 2) + 1;
    const std::size_t cut = windowEnd - 50;
    ASSERT_EQ(cut / 4096, ((1u << 20) - 1) / 4096) << "the cut is in the window's last page";
    const std::string path = dir.Write("cut.txt", text);
    ResultLog log;
    log.Create((dir.Path() / "run.out").string());
    ListHost host;
    bool done = false;
    // The first status update comes after line 1000, long before the scan reaches the cut.
    host.OnTitle = [&] {
        if (!done) {
            done = true;
            EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(cut)), 0);
        }
    };
    SearchInputs in;
    in.String1 = "hit";
    in.LineFormat = LineFormat::Unix;
    in.LineNumbering = true;
    SearchRun run(PrepareRequest(in), log, host, ",");
    EXPECT_FALSE(run.ScanFile(path));
    ASSERT_TRUE(done);
    EXPECT_EQ(host.Failures(), std::vector<std::string>{path + "|" + std::string(ShortenedFileReason)});
    std::string expected;
    for (std::size_t i = 0; i < cut / 100; ++i) {
        expected += std::to_string(i + 1) + " : " + lines[i] + "\r";
    }
    const std::string written = log.ReadAll();
    EXPECT_EQ(written.size(), expected.size());
    const std::size_t tail = std::min<std::size_t>(written.size(), 160);
    EXPECT_TRUE(written == expected) << "the log ends with " << written.substr(written.size() - tail);
}

constexpr std::size_t LongLine = std::size_t{256} << 20;
constexpr std::size_t MemoryLimit = std::size_t{64} << 20;

/// Writes a line of LongLine bytes, "NEEDLE" in its middle, ended by LF, to fd.
void WriteLongLine(int fd)
{
    std::string chunk(1 << 20, 'a');
    for (std::size_t done = 0; done < LongLine; done += chunk.size()) {
        std::string_view piece = chunk;
        if (done == LongLine / 2) {
            piece = "NEEDLE";
        }
        while (!piece.empty()) {
            const ssize_t n = ::write(fd, piece.data(), piece.size());
            if (n <= 0) {
                return;
            }
            piece.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    ::write(fd, "\n", 1);
}

/// split: the walk with two scan threads, the file split into chunks of 1 MiB.
bool ScanLongLineInto(const std::string& logPath, ListHost& host, const std::string& name, bool split = false)
{
    ResultLog log;
    log.Create(logPath);
    SearchInputs in;
    in.String1 = "NEEDLE";
    in.LineFormat = LineFormat::Unix;
    in.LineNumbering = true;
    SearchRun run(PrepareRequest(in), log, host, ",");
    bool ok = false;
    if (split) {
        host.Files = {name};
        run.SetThreads(2);
        run.SetFileSplit(1, 1 << 20);
        run.Walk();
        ok = host.Failures().empty();
    } else {
        ok = run.ScanFile(name);
    }
    log.Flush();
    struct stat info { };
    // "1 : " and the line and byte 13.
    return ok && ::stat(logPath.c_str(), &info) == 0 &&
           static_cast<std::size_t>(info.st_size) == 4 + LongLine - (1 << 20) + 6 + 1 &&
           run.Counters().LinesFound == 1;
}

TEST(FastScanFaults, ALineOfAnyLengthIsReportedInBoundedMemoryFromAMappedFile)
{
    if (UnderSanitizer) {
        GTEST_SKIP() << "the memory limit would count the sanitizer's own memory";
    }
    TempDir dir;
    const std::string path = (dir.Path() / "one-line.txt").string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    WriteLongLine(fd);
    ::close(fd);
    const std::string logPath = (dir.Path() / "mapped.out").string();
    EXPECT_EQ(InChildWithMemoryLimit(MemoryLimit,
                                     [&] {
                                         ListHost host;
                                         return ScanLongLineInto(logPath, host, path);
                                     }),
              0);
}

// The line starts in the first chunk and runs through all the others: its entry leaves that
// chunk's scan in pieces, which wait for the writer in bounded memory.
TEST(FastScanFaults, ALineOfAnyLengthIsReportedInBoundedMemoryFromASplitFile)
{
    if (UnderSanitizer) {
        GTEST_SKIP() << "the memory limit would count the sanitizer's own memory";
    }
    TempDir dir;
    const std::string path = (dir.Path() / "one-line.txt").string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    WriteLongLine(fd);
    ::close(fd);
    const std::string logPath = (dir.Path() / "split.out").string();
    EXPECT_EQ(InChildWithMemoryLimit(MemoryLimit,
                                     [&] {
                                         ListHost host;
                                         return ScanLongLineInto(logPath, host, path, true);
                                     }),
              0);
}

TEST(FastScanFaults, ALineOfAnyLengthIsReportedInBoundedMemoryFromAPipe)
{
    if (UnderSanitizer) {
        GTEST_SKIP() << "the memory limit would count the sanitizer's own memory";
    }
    TempDir dir;
    const std::string logPath = (dir.Path() / "piped.out").string();
    EXPECT_EQ(InChildWithMemoryLimit(MemoryLimit,
                                     [&] {
                                         int ends[2];
                                         if (::pipe(ends) != 0) {
                                             return false;
                                         }
                                         const pid_t writer = ::fork();
                                         if (writer == 0) {
                                             ::close(ends[0]);
                                             WriteLongLine(ends[1]);
                                             ::_exit(0);
                                         }
                                         ::close(ends[1]);
                                         ListHost host;
                                         host.AnyKind = true;
                                         host.OpenAs = "/proc/self/fd/" + std::to_string(ends[0]);
                                         const bool ok = ScanLongLineInto(logPath, host, "pipe");
                                         ::waitpid(writer, nullptr, 0);
                                         return ok;
                                     }),
              0);
}

TEST(FastScanFaults, CancelIsSeenInTheMiddleOfAnEndlessLine)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const std::string chunk(1 << 16, 'a');
        while (!stop && ::write(ends[1], chunk.data(), chunk.size()) > 0) { }
    });
    ResultLog log;
    TempDir dir;
    log.Create((dir.Path() / "run.out").string());
    ListHost host;
    host.AnyKind = true;
    host.OpenAs = "/proc/self/fd/" + std::to_string(ends[0]);
    SearchInputs in;
    in.String1 = "a";
    CancelRequested = false;
    SearchRun run(PrepareRequest(in), log, host, ",");
    std::thread canceller([] {
        std::this_thread::sleep_for(300ms);
        CancelRequested = true;
    });
    EndsWithin(30s, [&] { run.ScanFile("pipe"); });
    canceller.join();
    CancelRequested = false;
    stop = true;
    ::close(ends[0]);
    writer.join();
    ::close(ends[1]);
    EXPECT_EQ(run.Counters().LinesFound, 0);
    EXPECT_EQ(log.Size(), 0) << "a line given up leaves nothing in the log";
}

TEST(FastScanFaults, AListedPathThatBecameAFifoIsReportedWithoutWaiting)
{
    TempDir dir;
    const std::string fifo = (dir.Path() / "was-a-file").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string next = dir.Write("next.txt", "found\n");
    ResultLog log;
    log.Create((dir.Path() / "run.out").string());
    ListHost host;
    host.Files = {fifo, next};
    SearchInputs in;
    in.String1 = "found";
    in.LineFormat = LineFormat::Unix;
    SearchRun run(PrepareRequest(in), log, host, ",");
    // Should the open wait for a writer, one comes after a while, and the wait shows.
    std::atomic<bool> done{false};
    std::atomic<bool> unblocked{false};
    std::thread rescuer([&] {
        for (int i = 0; i < 300 && !done; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        if (!done) {
            unblocked = true;
            ::close(::open(fifo.c_str(), O_WRONLY));
        }
    });
    CancelRequested = false;
    run.Walk();
    SearchRunning = false;
    done = true;
    rescuer.join();
    EXPECT_FALSE(unblocked) << "the scan waited in open()";
    EXPECT_EQ(host.Failures(), std::vector<std::string>{fifo + "|" + std::string(NotRegularFileReason)});
    EXPECT_EQ(log.ReadAll(), "found\r");
}

TEST(FastScanFaults, AFaultInsideTheFileIsAnInputErrorNotAShortening)
{
    TempDir dir;
    const std::string path = dir.Write("f.txt", std::string(10000, 'x'));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(MappedFaultReason(fd, 4096), "Input/output error");
    EXPECT_EQ(MappedFaultReason(fd, 10000), ShortenedFileReason);
    ASSERT_EQ(::truncate(path.c_str(), 100), 0);
    EXPECT_EQ(MappedFaultReason(fd, 4096), ShortenedFileReason);
    ::close(fd);
}

} // namespace
