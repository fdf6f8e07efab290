// Runs one real search through the window: the real TForm1 and TSearchThread on the offscreen
// platform (or any other), timed from the Search command to the release of the search thread.
//
//   sifton-window-bench [--dos|--unix] [--regex] [--case-sensitive] [--refresh N] [--list FILE]
//                       [--log COPY] [--cancel-after MS] STRING [FILE]...
//
// Options as the window's defaults: Line Counting, Progress Indication and Verbose Output on, DOS
// text unless --unix; --regex and --case-sensitive tick those boxes. Prints one line of figures: the
// run's seconds, the longest gap between two turns of the GUI thread's event loop and between two
// changes of the status bar while the run went on, how many changes the status bar showed, and with
// --cancel-after the time from the Cancel command to the end of the walk. --log copies the result log
// (to compare it with sifton-cli --log).
#include "app/SearchThread.h"
#include "app/Unit1.h"
#include "platform/Application.h"
#include "search/RunFlags.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

QStringList ReadList(const QString& path)
{
    QFile file(path);
    QStringList lines;
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "sifton-window-bench: cannot open %s\n", qPrintable(path));
        std::exit(2);
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QByteArray name = line.endsWith('\r') ? line.chopped(1) : line;
        if (!name.isEmpty()) {
            lines << QString::fromLocal8Bit(name);
        }
    }
    return lines;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: sifton-window-bench [--dos|--unix] [--regex] [--case-sensitive] [--refresh N]"
                 " [--list FILE] [--log COPY] [--cancel-after MS] STRING [FILE]...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    Application::SetTitle(QStringLiteral("Sifton"));

    bool unixText = false;
    bool regex = false;
    bool caseSensitive = false;
    int refresh = 1000;
    int cancelAfter = -1;
    QString logCopy;
    QStringList files;
    QString string1;
    // QApplication sees only the program's name; the arguments are the application's own.
    const QStringList args = app.Arguments();
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--dos") {
            unixText = false;
        } else if (a == "--unix") {
            unixText = true;
        } else if (a == "--regex") {
            regex = true;
        } else if (a == "--case-sensitive") {
            caseSensitive = true;
        } else if (a == "--refresh" && hasValue) {
            refresh = args[++i].toInt();
        } else if (a == "--list" && hasValue) {
            files += ReadList(args[++i]);
        } else if (a == "--log" && hasValue) {
            logCopy = args[++i];
        } else if (a == "--cancel-after" && hasValue) {
            cancelAfter = args[++i].toInt();
        } else if (string1.isNull()) {
            string1 = a;
        } else {
            files << a;
        }
    }
    if (string1.isEmpty() || files.isEmpty()) {
        return Usage();
    }

    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("sifton"));
    {
        QFile ini(program + QStringLiteral(".ini"));
        if (!ini.open(QIODevice::WriteOnly)) {
            return 2;
        }
        ini.write(QStringLiteral("[Options]\r\nCount Lines=1\r\nCount Words=0\r\nProgress Indicator=1\r\n"
                                 "Output Names=1\r\nUnix File=%1\r\nSafe After=0\r\nRefresh Rate=%2\r\n"
                                 "Regular Expressions=%3\r\nCase Sensitive=%4\r\n")
                      .arg(unixText ? 1 : 0)
                      .arg(refresh)
                      .arg(regex ? 1 : 0)
                      .arg(caseSensitive ? 1 : 0)
                      .toLatin1());
    }
    TForm1 form({}, program);
    form.show();
    form.FString1->setPlainText(string1);
    form.FileListDragDropFiles(files);
    QApplication::processEvents();

    // The GUI thread's turns and the status bar's changes, seen from a 5 ms timer of the GUI thread.
    QElapsedTimer clock;
    qint64 lastTurn = 0;
    qint64 maxTurnGap = 0;
    qint64 lastChange = 0;
    qint64 maxChangeGap = 0;
    int changes = 0;
    QString shown = form.StatusText(0) + form.StatusText(2);
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        maxTurnGap = std::max(maxTurnGap, now - lastTurn);
        lastTurn = now;
        const QString status = form.StatusText(0) + form.StatusText(2);
        if (status != shown && SearchRunning) {
            shown = status;
            ++changes;
            maxChangeGap = std::max(maxChangeGap, now - lastChange);
            lastChange = now;
        }
    });

    // The end of the walk, seen from a thread of its own so that the GUI thread's pace does not count.
    std::atomic<qint64> cancelledAt{-1};
    std::atomic<qint64> stoppedAt{-1};
    std::atomic<qint64> startedAt{-1};
    std::atomic<bool> watching{true};
    std::thread watcher([&] {
        bool seenRunning = false;
        while (watching) {
            const bool running = SearchRunning.load();
            if (running && !seenRunning) {
                startedAt = clock.nsecsElapsed() / 1000;
            }
            seenRunning = seenRunning || running;
            if (seenRunning && !running && stoppedAt < 0) {
                stoppedAt = clock.nsecsElapsed() / 1000;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    if (cancelAfter >= 0) {
        QTimer::singleShot(cancelAfter, [&] {
            cancelledAt = clock.nsecsElapsed() / 1000;
            form.CmdCancelClick();
        });
    }

    clock.start();
    probe.start();
    form.CmdSearchClick();
    // Wait as the window's own event loop does: a loop that polls would take a core from the search.
    while (form.SearchThread != nullptr) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    probe.stop();
    watching = false;
    watcher.join();

    std::printf("window seconds=%.4f max_event_gap_ms=%lld max_status_gap_ms=%lld status_changes=%d", seconds,
                static_cast<long long>(maxTurnGap), static_cast<long long>(maxChangeGap), changes);
    if (startedAt >= 0 && stoppedAt >= 0) {
        // Where the window's own time goes: before the walk starts, the walk, and after it ends.
        std::printf(" start_ms=%.2f walk_ms=%.2f end_ms=%.2f", double(startedAt) / 1000.0,
                    double(stoppedAt - startedAt) / 1000.0, seconds * 1000.0 - double(stoppedAt) / 1000.0);
    }
    if (cancelledAt >= 0 && stoppedAt >= 0) {
        std::printf(" cancel_ms=%.2f", double(stoppedAt - cancelledAt) / 1000.0);
    }
    std::printf(" status=\"%s | %s\"\n", qPrintable(form.StatusText(0)), qPrintable(form.StatusText(2)));
    if (!logCopy.isEmpty()) {
        form.Log.CopyLogTo(logCopy.toLocal8Bit().toStdString());
    }
    return 0;
}
