// A stop signal (SIGTERM: the session ending, kill) while a box or a dialog waits for an answer: the
// program must still end within a second or two, having dismissed the box, written its options and
// removed its private result log. The program runs as a child; its start-up is the real one, and it
// says when a modal window is open, so the signal comes while one is.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <ostream>
#include <signal.h>
#include <sys/file.h>

namespace {

struct TStopCase {
    const char* Name;
    const char* Options; // lines of [Options] in the settings file
    QStringList Arguments;
    const char* Window; // part of the child's line when the modal window opened
    friend void PrintTo(const TStopCase& c, std::ostream* os) { *os << c.Name; }
};

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class StopSignalTest : public ::testing::TestWithParam<TStopCase> { };

TEST_P(StopSignalTest, EndsSoonWithOptionsWrittenAndItsPrivateLogGone)
{
    QTemporaryDir dir;
    QTemporaryDir runtime;
    ASSERT_TRUE(dir.isValid() && runtime.isValid());
    const QString program = dir.filePath("sifton");
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/stop_signal_child", program));
    QFile ini(dir.filePath("sifton.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QByteArray("[Options]\n") + GetParam().Options);
    ini.close();
    QFile text(dir.filePath("a.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("hello\n");
    text.close();
    // Another copy holds the shared result log, so this one makes a private log of its own.
    QFile shared(dir.filePath("sifton.out"));
    ASSERT_TRUE(shared.open(QIODevice::WriteOnly));
    ASSERT_EQ(::flock(shared.handle(), LOCK_EX | LOCK_NB), 0);

    QProcess sifton;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    sifton.setProcessEnvironment(environment);
    sifton.setWorkingDirectory(dir.path());
    sifton.start(program, GetParam().Arguments);
    ASSERT_TRUE(sifton.waitForStarted());
    QByteArray said;
    QElapsedTimer opening;
    opening.start();
    while (!said.contains("modal ") && opening.elapsed() < 30000 && sifton.state() == QProcess::Running) {
        sifton.waitForReadyRead(100);
        said += sifton.readAllStandardOutput();
    }
    ASSERT_TRUE(said.contains(GetParam().Window)) << said.toStdString();
    ASSERT_EQ(QDir(runtime.path()).entryList(QDir::Files).size(), 1) << "the private log is there";

    ASSERT_EQ(::kill(pid_t(sifton.processId()), SIGTERM), 0);
    QElapsedTimer stopping;
    stopping.start();
    const bool ended = sifton.waitForFinished(10000);
    const qint64 took = stopping.elapsed();
    if (!ended) {
        sifton.kill();
        sifton.waitForFinished();
    }
    ASSERT_TRUE(ended) << "still running 10 s after the signal";
    EXPECT_LT(took, 2000) << "ms from the signal to the end";
    EXPECT_EQ(sifton.exitStatus(), QProcess::NormalExit) << "ended by the signal, not by itself";
    EXPECT_TRUE(ReadBytes(dir.filePath("sifton.ini")).contains("Refresh Rate=1000"))
        << ReadBytes(dir.filePath("sifton.ini")).toStdString();
    EXPECT_EQ(QDir(runtime.path()).entryList(QDir::Files), QStringList{}) << "the private log is removed";
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, StopSignalTest,
    ::testing::Values(
        // Asked by the search's thread, which waits for the answer.
        TStopCase{"SaveDialogAtTheEndOfARun", "Safe After=1\n", {"a.txt", "hello", "/GO"}, "QFileDialog"},
        TStopCase{
            "UnreadableFilesBoxAtTheEndOfARun", "", {"/proc/self/mem", "hello", "/GO"}, "could not be read"},
        // Shown on the window's thread while the window is being made.
        TStopCase{"WrongFileNameAtStartUp", "", {"missing.txt", "hello"}, "Wrong filename!"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
