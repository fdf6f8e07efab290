// Loading a full output pane (60000 characters) with and without the marks on the search strings:
// load, lay out the whole text, mark the lines in view and paint once, in paired rounds (one of each per
// round, order alternating).
//   QT_QPA_PLATFORM=offscreen build/bin/sifton-pane-bench [rounds]
#include "app/MatchHighlight.h"
#include "controls/richtext/qvtext.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Numbered log-like entries up to a little more than the pane holds; every few lines hold a string.
std::string TypicalLog()
{
    std::string log;
    for (int i = 1; log.size() < 62000; ++i) {
        log += std::to_string(i) + " : 2026-12-08 10:00:05 ";
        log += i % 3 == 0 ? "ERROR timeout while talking to db; error code 110"
                          : "INFO  request served in 12 ms";
        log += '\r';
    }
    return log;
}

// The worst case: a one-letter string that is every other character of every line.
std::string DenseLog()
{
    std::string log;
    while (log.size() < 62000) {
        for (int i = 0; i < 40; ++i) {
            log += "e ";
        }
        log += '\r';
    }
    return log;
}

double LoadMs(TQvEdit& viewer, const std::string& log, TMatchHighlighter* marks)
{
    QElapsedTimer timer;
    timer.start();
    std::istringstream stream(log);
    viewer.LoadFromStream(stream);
    viewer.document()->documentLayout()->documentSize(); // the whole text laid out, as showing it would
    if (marks != nullptr) {
        marks->Refresh();
    }
    viewer.grab(); // and painted once, marks included
    return double(timer.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Measure(const char* name, const std::string& log, const TMatchStrings& strings, int rounds)
{
    TQvEdit plain;
    TQvEdit marked;
    for (TQvEdit* viewer : {&plain, &marked}) {
        viewer->SetMaxLength(60000);
        viewer->resize(800, 600);
    }
    auto* marks = new TMatchHighlighter(&marked);
    marks->SetStrings(strings);
    std::vector<double> plainMs;
    std::vector<double> markedMs;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        double a = 0;
        double b = 0;
        if (round % 2 == 0) {
            a = LoadMs(plain, log, nullptr);
            b = LoadMs(marked, log, marks);
        } else {
            b = LoadMs(marked, log, marks);
            a = LoadMs(plain, log, nullptr);
        }
        plainMs.push_back(a);
        markedMs.push_back(b);
        ratios.push_back(b / a);
    }
    std::printf("| %s | %d | %d | %d | %.1f | %.1f | %.2f |\n", name, int(marked.toPlainText().size()),
                marked.document()->blockCount(), int(marks->Marks().size()), Median(plainMs),
                Median(markedMs), Median(ratios));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    std::printf("| pane | characters | lines | marks in view | plain ms | marked ms | marked/plain |\n"
                "|---|---:|---:|---:|---:|---:|---:|\n");
    Measure("typical log, two strings", TypicalLog(), {"error", "timeout", false, true}, rounds);
    Measure("worst case, a mark every other character", DenseLog(), {"e", "", false, false}, rounds);
    Measure("typical log, strings absent", TypicalLog(), {"zzzz", "", false, true}, rounds);
    return 0;
}
