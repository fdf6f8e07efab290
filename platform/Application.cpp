#include "platform/Application.h"

#include "platform/ErrorGuard.h"
#include "platform/GuiDispatcher.h"

#include <QCursor>
#include <QDir>
#include <QFileInfo>

#include <filesystem>
#include <mutex>
#include <system_error>

namespace {

std::mutex TitleLock;
QString TitleText; // guarded by TitleLock
std::function<void(const QString&)> TitleChangeHandler; // GUI thread only
TCursor CurrentCursor = crDefault; // GUI thread only

Qt::CursorShape ShapeOf(TCursor cursor)
{
    return cursor == crAppStart ? Qt::BusyCursor : Qt::WaitCursor;
}

} // namespace

TToolkitArguments::TToolkitArguments(char* programName)
    : Argv{programName, nullptr}
{
}

TApplication::TApplication(int argc, char** argv)
    : TToolkitArguments(argc > 0 ? argv[0] : nullptr)
    , QApplication(Argc, Argv)
    , FArguments(Application::ArgumentsOf(argc, argv))
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    Guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

namespace Application {

QString Title()
{
    std::lock_guard lock(TitleLock);
    return TitleText;
}

void SetTitle(const QString& title)
{
    {
        std::lock_guard lock(TitleLock);
        // A run sets the same title at every status update: only a change is handed on.
        if (TitleText == title && !TitleText.isNull()) {
            return;
        }
        TitleText = title;
    }
    RunOnGuiThread([&] {
        if (TitleChangeHandler) {
            TitleChangeHandler(title);
        }
    });
}

void SetOnTitleChange(std::function<void(const QString& Title)> handler)
{
    TitleChangeHandler = std::move(handler);
}

TCursor Cursor()
{
    return CallOnGuiThread([] { return CurrentCursor; });
}

void SetCursor(TCursor cursor)
{
    RunOnGuiThread([cursor] {
        if (cursor == CurrentCursor) {
            return;
        }
        // One override cursor of ours at most, so "back to normal" is always a single restore.
        if (CurrentCursor == crDefault) {
            QGuiApplication::setOverrideCursor(QCursor(ShapeOf(cursor)));
        } else if (cursor == crDefault) {
            QGuiApplication::restoreOverrideCursor();
        } else {
            QGuiApplication::changeOverrideCursor(QCursor(ShapeOf(cursor)));
        }
        CurrentCursor = cursor;
    });
}

void ProcessMessages()
{
    if (QCoreApplication::instance() != nullptr && IsGuiThread()) {
        QCoreApplication::processEvents();
    }
}

QStringList ArgumentsOf(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

QString ExeName()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        return QString::fromStdString(self.string());
    }
    return QCoreApplication::applicationFilePath();
}

QString ChangeFileExt(const QString& path, const QString& ext)
{
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    // A leading dot names a hidden file; it is not an extension.
    if (dot > nameStart) {
        return path.left(dot) + ext;
    }
    return path + ext;
}

QString FileBeside(const QString& ext)
{
    return ChangeFileExt(ExeName(), ext);
}

} // namespace Application
