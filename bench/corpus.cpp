// sifton-corpus: writes the benchmark corpus, a log-like text in LF and CR LF form, and a
// manifest of the line counts every benchmark case must report. The same size gives the same
// bytes on every machine (own generator, fixed seed).
//
//   sifton-corpus [--size BYTES] [--out DIR]     (defaults: 1 GiB, bench/corpus)

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace {

// The needles; nothing else in the vocabulary contains them, in any case.
constexpr std::string_view kRare = "QuantumFluxError";
constexpr std::string_view kCommon = "WARN";
constexpr std::string_view kSecond = "deadlock";
constexpr std::string_view kExclude = "disk";

struct SplitMix {
    std::uint64_t State;
    std::uint64_t Next()
    {
        std::uint64_t z = (State += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
};

const char* const kComponents[] = {"http.server", "db.pool",      "cache",   "scheduler",
                                   "auth",        "storage.disk", "queue",   "metrics",
                                   "mailer",      "search.index", "billing", "gateway"};
const char* const kMessages[] = {
    "request completed status=200 bytes=",
    "connection opened from 10.0.%u.%u port ",
    "cache miss for key user:",
    "job finished in ms=",
    "token refreshed for account ",
    "disk usage at percent=",
    "retrying operation after timeout attempt=",
    "slow query detected duration_ms=",
    "message queued with priority ",
    "index segment merged docs=",
    "invoice generated number=",
    "upstream responded latency_us=",
    "configuration reloaded version=",
    "session expired for user id=",
    "payload checksum verified crc=",
};
const char* const kLevels[] = {"INFO ", "DEBUG", "ERROR", "TRACE"};

bool ContainsFolded(std::string_view line, std::string_view needle)
{
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    for (std::size_t i = 0; i + needle.size() <= line.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && up(line[i + k]) == up(needle[k])) {
            ++k;
        }
        if (k == needle.size()) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    std::uint64_t size = 1ULL << 30;
    std::filesystem::path out = "bench/corpus";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--size") == 0) {
            size = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--out") == 0) {
            out = argv[i + 1];
        } else {
            std::fprintf(stderr, "usage: sifton-corpus [--size BYTES] [--out DIR]\n");
            return 2;
        }
    }
    std::filesystem::create_directories(out);
    std::FILE* lf = std::fopen((out / "corpus-lf.txt").c_str(), "wb");
    std::FILE* crlf = std::fopen((out / "corpus-crlf.txt").c_str(), "wb");
    if (lf == nullptr || crlf == nullptr) {
        std::perror("sifton-corpus");
        return 1;
    }
    static char bufLf[1 << 20];
    static char bufCrLf[1 << 20];
    std::setvbuf(lf, bufLf, _IOFBF, sizeof bufLf);
    std::setvbuf(crlf, bufCrLf, _IOFBF, sizeof bufCrLf);

    SplitMix rng{20261207};
    std::uint64_t written = 0;
    std::uint64_t lines = 0, rare = 0, rareFolded = 0, common = 0, orLines = 0, andNot = 0;
    std::string line;
    std::uint64_t seconds = 0;
    while (written < size) {
        line.clear();
        seconds += rng.Below(3);
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "2026-12-%02u %02u:%02u:%02u.%03u ",
                      unsigned(1 + seconds / 86400 % 28), unsigned(seconds / 3600 % 24),
                      unsigned(seconds / 60 % 60), unsigned(seconds % 60), rng.Below(1000));
        line += stamp;
        const unsigned roll = rng.Below(10000);
        line += roll < 500 ? "WARN " : kLevels[rng.Below(100) < 85 ? 0 : 1 + rng.Below(3)];
        line += " [worker-";
        line += std::to_string(rng.Below(64));
        line += "] ";
        line += kComponents[rng.Below(std::size(kComponents))];
        line += ": ";
        // Some messages carry a %u pair; fill them, then append a number.
        char msg[160];
        std::snprintf(msg, sizeof msg, kMessages[rng.Below(std::size(kMessages))], rng.Below(256),
                      rng.Below(256));
        if (rng.Below(1000) == 0) {
            std::snprintf(msg, sizeof msg,
                          "lock wait exceeded threshold, possible deadlock on table orders id=");
        }
        line += msg;
        line += std::to_string(rng.Next() % 1000000007ULL);
        const unsigned tail = rng.Below(3);
        for (unsigned i = 0; i < tail; ++i) {
            line += " trace=";
            line += std::to_string(rng.Next() % 0xffffffffULL);
        }
        // Rarer forms that the regular-expression cases look for: a lease event, a mail address and an
        // ISO 8601 time. None holds a needle above, in any case.
        if (rng.Below(200) == 0) {
            static const char* const events[] = {"renewed", "expired", "granted", "pending"};
            line += " lease ";
            line += events[rng.Below(4)];
        }
        if (rng.Below(500) == 0) {
            line += " notify=user";
            line += std::to_string(rng.Below(1000));
            line += rng.Below(2) == 0 ? "@example.com" : "@example.org";
        }
        if (rng.Below(100) == 0) {
            char iso[48];
            std::snprintf(iso, sizeof iso, " deadline=2026-12-%02uT%02u:%02u:00Z", 1 + rng.Below(28),
                          rng.Below(24), rng.Below(60));
            line += iso;
        }
        // About one line in 10000 holds the rare needle, a third of them in another case.
        if (rng.Below(10000) == 0) {
            const unsigned form = rng.Below(3);
            line += form == 0 ? " quantumfluxerror" : form == 1 ? " QUANTUMFLUXERROR" : " QuantumFluxError";
            line += " reactor=";
            line += std::to_string(rng.Below(9));
        }

        const std::string_view view = line;
        ++lines;
        const bool hasRare = view.find(kRare) != std::string_view::npos;
        const bool hasCommon = view.find(kCommon) != std::string_view::npos;
        rare += hasRare;
        rareFolded += ContainsFolded(view, kRare);
        common += hasCommon;
        orLines += hasRare || view.find(kSecond) != std::string_view::npos;
        andNot += hasCommon && view.find(kExclude) == std::string_view::npos;

        std::fwrite(line.data(), 1, line.size(), lf);
        std::fputc('\n', lf);
        std::fwrite(line.data(), 1, line.size(), crlf);
        std::fputs("\r\n", crlf);
        written += line.size() + 1;
    }
    if (std::fclose(lf) != 0 || std::fclose(crlf) != 0) {
        std::perror("sifton-corpus");
        return 1;
    }
    std::ofstream manifest(out / "manifest.txt");
    // format: the kinds of lines the corpus holds; a corpus of another format is made anew.
    manifest << "size=" << size << "\n"
             << "format=2\n"
             << "bytes_lf=" << written << "\n"
             << "bytes_crlf=" << written + lines << "\n"
             << "lines=" << lines << "\n"
             << "rare=" << kRare << "\n"
             << "rare_lines=" << rare << "\n"
             << "rare_lines_folded=" << rareFolded << "\n"
             << "common=" << kCommon << "\n"
             << "common_lines=" << common << "\n"
             << "second=" << kSecond << "\n"
             << "or_lines=" << orLines << "\n"
             << "exclude=" << kExclude << "\n"
             << "andnot_lines=" << andNot << "\n"
             << "reverse_lines=" << lines - rare << "\n";
    return manifest ? 0 : 1;
}
