#include "platform/ErrorGuard.h"

#include "platform/Application.h"
#include "platform/Dialogs.h"

void ShowErrorText(const QString& text)
{
    MessageBox(text, Application::Title(), MB_OK | MB_ICONHAND);
}

void ShowCurrentException() noexcept
{
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            ShowErrorText(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            ShowErrorText(QStringLiteral("Unknown error."));
        }
    } catch (...) {
        // Showing the box failed as well; there is nowhere left to report it.
    }
}
