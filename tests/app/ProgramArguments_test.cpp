// The real program, started with words the toolkit would take for its own options: they must reach the
// command line as search strings. The search's result log beside the program shows what arrived.
#include "tests/support/TestFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

struct LaunchCase {
    const char* Name;
    QStringList Arguments; // after the file to search
    const char* Line; // the one line of the file that the search must report
};

class RealProgramArgumentsTest : public ::testing::TestWithParam<LaunchCase> { };

TEST_P(RealProgramArgumentsTest, ToolkitOptionsReachTheCommandLine)
{
    QTemporaryDir dir;
    const QString program = dir.filePath("sifton");
    ASSERT_TRUE(QFile::copy(qEnvironmentVariable("SIFTON_BIN") + "/sifton", program));
    WriteBytes(dir.filePath("a.txt"), QByteArray(GetParam().Line) + "\nan ordinary line\n");

    QProcess sifton;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    sifton.setProcessEnvironment(environment);
    sifton.setWorkingDirectory(dir.path());
    sifton.start(program, QStringList{"a.txt"} + GetParam().Arguments);
    ASSERT_TRUE(sifton.waitForStarted());
    QByteArray log;
    QElapsedTimer timer;
    timer.start();
    const QByteArray reported = QByteArray(GetParam().Line) + "\r";
    while (!log.contains(reported) && timer.elapsed() < 30000 && sifton.state() == QProcess::Running) {
        QThread::msleep(50);
        QFile file(dir.filePath("sifton.out"));
        log = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    sifton.kill();
    sifton.waitForFinished();
    EXPECT_TRUE(log.contains(reported)) << log.toStdString();
    EXPECT_FALSE(log.contains("an ordinary line")) << log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Launches, RealProgramArgumentsTest,
    ::testing::Values(LaunchCase{"Reverse", {"-reverse", "/GO"}, "-reverse"},
                      // Taken by the toolkit, "-platform xcb" would also fail to start without a display.
                      LaunchCase{"PlatformAndItsValue", {"-platform", "xcb", "/GO"}, "-platform with /GO"},
                      LaunchCase{"StyleAndItsValue", {"-style", "OR", "/GO"}, "-style or /GO"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
