#include "tests/support/WindowFixture.h"

#include "app/SearchThread.h"
#include "platform/Application.h"
#include "search/RunFlags.h"
#include "tests/support/WaitFor.h"

#include <QTest>
#include <QTreeWidgetItem>

void WindowTest::SetUp()
{
    ASSERT_TRUE(FDir.isValid());
    Application::SetTitle(QStringLiteral("Sifton"));
    CancelRequested = false;
    SearchRunning = false;
}

void WindowTest::TearDown()
{
    if (FForm) {
        EXPECT_TRUE(RunEnded());
    }
    FForm.reset();
    SearchRunning = false;
}

TForm1& WindowTest::Create(const QStringList& arguments)
{
    FForm = std::make_unique<TForm1>(arguments, ProgramPath());
    return *FForm;
}

bool WindowTest::ShowActive()
{
    FForm->show();
    FForm->activateWindow();
    return QTest::qWaitForWindowActive(FForm.get());
}

void WindowTest::AddRow(const QString& path)
{
    auto* item = new QTreeWidgetItem(FForm->FileList);
    item->setText(0, path);
}

bool WindowTest::RunEnded()
{
    return WaitFor([this] { return FForm->SearchThread == nullptr; });
}

bool WindowTest::RunAndWait()
{
    FForm->CmdSearchClick();
    return RunEnded();
}

QByteArray WindowTest::LogBytes() const
{
    return ReadBytes(FForm->ProgramFile(".out"));
}

QStringList WindowTest::Rows() const
{
    QStringList rows;
    for (int i = 0; i < FForm->FileCount(); ++i) {
        rows << FForm->FileNameAt(i);
    }
    return rows;
}

TRunHold::TRunHold(TForm1& form)
    : FForm(form)
{
    form.RunDisplay.OnTitlePublished = [this] {
        std::unique_lock lock(FLock);
        FHeld = true;
        FSignal.wait(lock, [this] { return FReleased; });
    };
}

TRunHold::~TRunHold()
{
    Release();
    // The hook is let go only once no run can be inside it any more.
    EXPECT_TRUE(WaitFor([this] { return FForm.SearchThread == nullptr; }));
    FForm.RunDisplay.OnTitlePublished = nullptr;
}

QByteArray TRunHold::HeldText(const QByteArray& head, const QByteArray& tail)
{
    QByteArray text = head;
    for (int i = 0; i < 1100; ++i) {
        text += QByteArray(126, 'x') + "\r\n";
    }
    return text + tail;
}

bool TRunHold::Reached()
{
    return WaitFor([this] {
        std::lock_guard lock(FLock);
        return FHeld;
    });
}

void TRunHold::Release()
{
    std::lock_guard lock(FLock);
    FReleased = true;
    FSignal.notify_all();
}
