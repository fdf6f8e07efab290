// Opening the file viewer at a line of a big file: the time from Open to the first page painted, and
// what the process's memory grew by (resident and peak), in rounds on the same window.
//   QT_QPA_PLATFORM=offscreen build/bin/sifton-viewer-bench [FILE LINE] [rounds]
// Without FILE it makes a 2 GiB sparse file in the temporary folder (50 lines, a 2 GiB hole, 50 lines)
// and opens it at its last line; with FILE, at LINE of FILE (a dense file counts every line before).
#include "app/Viewer.h"
#include "app/ViewerText.h"
#include "platform/Application.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
std::int64_t StatusBytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string name;
    while (status >> name) {
        std::int64_t kib = 0;
        if (name == std::string(field) + ":" && status >> kib) {
            return kib * 1024;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

std::string Lines(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "2026-12-08 10:00:05 line ";
        text += std::to_string(i);
        text += " of the log, status ok\n";
    }
    return text;
}

std::string SparseFile()
{
    const std::string path = (std::filesystem::temp_directory_path() / "sifton-viewer-bench.log").string();
    const std::int64_t size = std::int64_t{2} << 30;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << Lines(50);
    }
    std::filesystem::resize_file(path, size);
    std::string tail = Lines(50);
    tail.insert(tail.begin(), '\n');
    const int fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0 || ::pwrite(fd, tail.data(), tail.size(), size) != ssize_t(tail.size())) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(2);
    }
    ::close(fd);
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Application::SetTitle(QStringLiteral("Sifton"));
    const bool made = argc < 3;
    const std::string path = made ? SparseFile() : argv[1];
    const std::int64_t line = made ? 101 : std::stoll(argv[2]);
    const int rounds = argc == 2 ? std::atoi(argv[1]) : argc > 3 ? std::atoi(argv[3]) : 5;
    SearchInputs inputs;
    inputs.String1 = "status";
    inputs.LineFormat = LineFormat::Unix;
    const auto request = std::make_shared<const SearchRequest>(PrepareRequest(inputs));

    std::printf("file %s, %lld bytes, line %lld\n", path.c_str(),
                static_cast<long long>(std::filesystem::file_size(path)), static_cast<long long>(line));
    const std::int64_t rssBefore = StatusBytes("VmRSS");
    const std::int64_t peakBefore = StatusBytes("VmHWM");
    for (int round = 1; round <= rounds; ++round) {
        // A new window each round: nothing counted in an earlier round is reused.
        TFileViewer viewer;
        viewer.resize(1000, 700);
        QElapsedTimer timer;
        timer.start();
        viewer.Open({QString::fromStdString(path), line, request});
        viewer.Text()->viewport()->grab();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        std::printf(
            "round %d: open and first page %.1f ms, line shown %lld, resident +%.1f MiB, peak +%.1f MiB\n",
            round, ms, static_cast<long long>(viewer.Text()->Caret().Line),
            double(StatusBytes("VmRSS") - rssBefore) / 1048576.0,
            double(StatusBytes("VmHWM") - peakBefore) / 1048576.0);
    }
    if (made) {
        std::filesystem::remove(path);
    }
    return 0;
}
