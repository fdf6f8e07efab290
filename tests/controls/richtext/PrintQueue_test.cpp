// Handing a job to the print queue: the window never waits for lp, and a refused job is reported.
#include "controls/richtext/qvtext_print.h"
#include "platform/Application.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WaitFor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class PrintQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application::SetTitle("Sifton");
        FPath = qgetenv("PATH");
        // A stand-in lp that answers like CUPS would: after a moment, with its verdict.
        Lp("#!/bin/sh\nsleep 1\necho \"lp: The printer or class does not exist.\" >&2\nexit 1\n");
        qputenv("PATH", FBin.path().toLocal8Bit() + ":" + FPath);
    }
    void TearDown() override { qputenv("PATH", FPath); }

    void Lp(const QByteArray& script)
    {
        WriteBytes(FBin.filePath("lp"), script);
        QFile::setPermissions(FBin.filePath("lp"), QFile::ReadOwner | QFile::ExeOwner);
    }

    bool WaitForMessage()
    {
        return WaitFor([this] { return !FDialogs.Messages.empty(); }, 10000);
    }

    QTemporaryDir FBin;
    QByteArray FPath;
    TScriptedDialogs FDialogs;
};

TEST_F(PrintQueueTest, RefusedJobIsReportedAndTheWindowDoesNotWait)
{
    auto spool = std::make_shared<QTemporaryDir>();
    QFile(spool->filePath("job.pdf")).open(QIODevice::WriteOnly);
    const QString folder = spool->path();
    QElapsedTimer timer;
    timer.start();
    HandToPrintQueue("office", "Sifton Output", spool, spool->filePath("job.pdf"));
    EXPECT_LT(timer.elapsed(), 500) << "waited for lp";
    spool.reset();
    EXPECT_TRUE(QFile::exists(folder + "/job.pdf")) << "the spool file must outlive the hand-over";
    ASSERT_TRUE(WaitForMessage());
    EXPECT_EQ(FDialogs.Messages[0].Text,
              "Unable to print to office: lp: The printer or class does not exist.");
    EXPECT_EQ(FDialogs.Messages[0].Caption, "Sifton");
    QCoreApplication::processEvents();
    EXPECT_FALSE(QFile::exists(folder)) << "removed once lp has answered";
}

TEST_F(PrintQueueTest, AcceptedJobSaysNothing)
{
    Lp("#!/bin/sh\necho \"request id is office-7 (1 file(s))\"\nexit 0\n");
    auto spool = std::make_shared<QTemporaryDir>();
    HandToPrintQueue("office", "Sifton Output", spool, spool->filePath("job.pdf"));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 1500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_TRUE(FDialogs.Messages.empty());
}

TEST_F(PrintQueueTest, LpThatCannotStartIsReported)
{
    Lp("not a program");
    QFile::setPermissions(FBin.filePath("lp"), QFile::ReadOwner); // found, but not runnable
    qputenv("PATH", FBin.path().toLocal8Bit());
    auto spool = std::make_shared<QTemporaryDir>();
    HandToPrintQueue("office", "Sifton Output", spool, spool->filePath("job.pdf"));
    ASSERT_TRUE(WaitForMessage());
    EXPECT_TRUE(FDialogs.Messages[0].Text.startsWith("Unable to print to office: "))
        << FDialogs.Messages[0].Text.toStdString();
}

} // namespace
