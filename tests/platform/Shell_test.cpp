#include "tests/support/ScriptedShell.h"
#include "tests/support/TestFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

TEST(ScriptedShellTest, RecordsCallsAndRestoresTheRealShell)
{
    TShellService* before = &Shell();
    {
        TScriptedShell shell;
        shell.Result = false;
        EXPECT_FALSE(Shell().OpenDocument(QStringLiteral("mailto:sales@example.com")));
        EXPECT_FALSE(Shell().StartProgram(QStringLiteral("/usr/bin/firefox"),
                                          QStringLiteral("http://example.com/a b")));
        ASSERT_EQ(shell.Opened.size(), 1u);
        EXPECT_EQ(shell.Opened[0], QStringLiteral("mailto:sales@example.com"));
        ASSERT_EQ(shell.Started.size(), 1u);
        EXPECT_EQ(shell.Started[0].second, QStringLiteral("http://example.com/a b"));
    }
    EXPECT_EQ(&Shell(), before);
}

TEST(RealShellTest, AnEmptyCommandStartsNothing)
{
    EXPECT_FALSE(Shell().StartProgram(QString(), QStringLiteral("x")));
}

TEST(RealShellTest, StartsAProgramWithItsOwnArgumentsAndTheOneArgumentUnsplit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString script = dir.filePath(QStringLiteral("probe.sh"));
    const QString marker = dir.filePath(QStringLiteral("args"));
    WriteBytes(
        script,
        QStringLiteral("printf '%s|' \"$#\" \"$@\" > '%1.tmp' && mv '%1.tmp' '%1'\n").arg(marker).toUtf8());
    ASSERT_TRUE(Shell().StartProgram(QStringLiteral("/bin/sh ") + script + QStringLiteral(" fixed"),
                                     QStringLiteral("http://example.com/a b")));
    for (int i = 0; i < 500 && !QFile::exists(marker); ++i) {
        QThread::msleep(10);
    }
    QFile file(marker);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("2|fixed|http://example.com/a b|"));
}

} // namespace
