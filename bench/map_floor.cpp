// What it costs to bring a large file's bytes to the processor, the floor under any scan of it:
// each way of reading is timed while counting the file's line feeds (the least a scan does with
// every byte), on one thread and on several, each thread taking chunks of the file in turn.
//
//   sifton-map-floor FILE [--threads N] [--chunk BYTES] [--runs N]
//
// Ways: a plain mapping (page faults), the mapping with MADV_SEQUENTIAL, with MADV_WILLNEED, with
// MAP_POPULATE, with MADV_POPULATE_READ on each chunk before it is read, and read() into a
// buffer each thread keeps. The page cache is warm (the file is read once first). Prints the median
// wall time of each way with its page faults.

#include "search/LineEnds.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif

namespace {

enum class Way { Faults, Sequential, WillNeed, Populate, PopulateChunks, Read };

const char* Name(Way way)
{
    switch (way) {
    case Way::Faults:
        return "mmap, page faults";
    case Way::Sequential:
        return "mmap + MADV_SEQUENTIAL";
    case Way::WillNeed:
        return "mmap + MADV_WILLNEED";
    case Way::Populate:
        return "mmap + MAP_POPULATE";
    case Way::PopulateChunks:
        return "mmap + MADV_POPULATE_READ per chunk";
    case Way::Read:
        return "read() into a kept buffer";
    }
    return "";
}

long Faults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

struct Result {
    double Seconds = 0;
    long Faults = 0;
    std::size_t Lines = 0;
};

Result Once(const char* path, Way way, int threads, std::size_t chunk)
{
    const long faultsBefore = Faults();
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    struct stat info { };
    ::fstat(fd, &info);
    const auto size = static_cast<std::size_t>(info.st_size);
    const char* data = nullptr;
    void* map = MAP_FAILED;
    if (way != Way::Read) {
        map =
            ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | (way == Way::Populate ? MAP_POPULATE : 0), fd, 0);
        data = static_cast<const char*>(map);
        if (way == Way::Sequential) {
            ::madvise(map, size, MADV_SEQUENTIAL);
        } else if (way == Way::WillNeed) {
            ::madvise(map, size, MADV_WILLNEED);
        }
    }
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> lines{0};
    auto work = [&] {
        std::vector<char> buffer(way == Way::Read ? chunk : 0);
        std::size_t mine = 0;
        for (;;) {
            const std::size_t at = next.fetch_add(chunk);
            if (at >= size) {
                break;
            }
            const std::size_t n = std::min(chunk, size - at);
            if (way == Way::Read) {
                for (std::size_t done = 0; done < n;) {
                    const ssize_t got =
                        ::pread(fd, buffer.data() + done, n - done, static_cast<off_t>(at + done));
                    if (got <= 0) {
                        std::perror("pread");
                        std::exit(1);
                    }
                    done += static_cast<std::size_t>(got);
                }
                mine += CountByte(buffer.data(), buffer.data() + n, '\n');
            } else {
                if (way == Way::PopulateChunks) {
                    // The start of the page holding at, so that the advice covers whole pages.
                    const std::size_t page = at & ~std::size_t{4095};
                    ::madvise(const_cast<char*>(data) + page, at + n - page, MADV_POPULATE_READ);
                }
                mine += CountByte(data + at, data + at + n, '\n');
            }
        }
        lines += mine;
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) {
        pool.emplace_back(work);
    }
    work();
    for (std::thread& t : pool) {
        t.join();
    }
    if (map != MAP_FAILED) {
        ::munmap(map, size);
    }
    ::close(fd);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {seconds, Faults() - faultsBefore, lines.load()};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: sifton-map-floor FILE [--threads N] [--chunk BYTES] [--runs N]\n");
        return 2;
    }
    const char* path = argv[1];
    int threads = 1;
    std::size_t chunk = std::size_t{4} << 20;
    int runs = 7;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--threads") {
            threads = std::atoi(argv[i + 1]);
        } else if (option == "--chunk") {
            chunk = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (option == "--runs") {
            runs = std::atoi(argv[i + 1]);
        }
    }
    Once(path, Way::Read, 1, chunk); // warms the page cache
    const Way ways[] = {Way::Faults,   Way::Sequential,     Way::WillNeed,
                        Way::Populate, Way::PopulateChunks, Way::Read};
    std::vector<std::vector<Result>> results(std::size(ways));
    // Round by round, so that a change in the machine's load touches every way alike.
    for (int r = 0; r < runs; ++r) {
        for (std::size_t w = 0; w < std::size(ways); ++w) {
            results[w].push_back(Once(path, ways[w], threads, chunk));
        }
    }
    for (std::size_t w = 0; w < std::size(ways); ++w) {
        std::vector<Result>& all = results[w];
        std::sort(all.begin(), all.end(),
                  [](const Result& a, const Result& b) { return a.Seconds < b.Seconds; });
        const Result& median = all[all.size() / 2];
        std::printf("%-38s threads %d chunk %zu: median %.1f ms, best %.1f ms, faults %ld, lines %zu\n",
                    Name(ways[w]), threads, chunk, median.Seconds * 1000, all.front().Seconds * 1000,
                    median.Faults, median.Lines);
    }
    return 0;
}
