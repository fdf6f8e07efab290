#include "app/Startup.h"

#include "app/Settings.h"
#include "app/Unit1.h"
#include "app/frmAbout.h"
#include "app/gConsts.h"
#include "app/urls.h"
#include "controls/objects/RichObjects.h"
#include "controls/pndlg.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/StopSignals.h"
#include "search/RunFlags.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>
#include <QWindow>

QIcon ProgramIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(
            QStringLiteral(":/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(QLatin1String(gConsts::AppId)),
            QSize(size, size));
    }
    return icon;
}

int RunSifton(QApplication& app, const QStringList& Arguments)
{
    Settings::FileName(); // fixed before any window exists
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    CreateFrmPrint(); // the control library's own start-up: the print progress window
    RegisterRichObjects(); // and the embeddable link objects, with their class keys when missing
    // The title is what the task bar shows; the window's own caption comes first in its title bar.
    QWidget* mainWindow = nullptr;
    Application::SetOnTitleChange([&mainWindow](const QString& Title) {
        QGuiApplication::setApplicationDisplayName(Title);
        // The window system formats a caption with the title only when the caption is set, so the
        // main window's caption, set before the title changed, is set again; only it shows the title.
        if (QWindow* window = mainWindow != nullptr ? mainWindow->windowHandle() : nullptr) {
            window->setTitle(window->title());
        }
    });
    Application::SetTitle(QString::fromLatin1(gConsts::ProductTitle));
    // Docks and Wayland compositors find the menu entry, and with it the name and icon, by this id.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(gConsts::AppId));
    QApplication::setWindowIcon(ProgramIcon());
    StartBrowserLookup(); // the Help menu's web items then never wait for xdg-settings

    // A stop signal may come while a box or a dialog waits for an answer, in its own event loop, maybe
    // with the search's thread waiting for that answer: closing the window there would wait for the
    // search, which waits for the box. So the boxes are dismissed as cancelled, the search is told to
    // stop, and every event loop is left; the window closes below, once nothing is in its way. Watched
    // from before the window exists, for the boxes its start-up may show.
    OnStopSignal(&app, [] {
        CancelRequested = true;
        DismissDialogs();
        QCoreApplication::exit(0);
    });
    TForm1 form(Arguments);
    mainWindow = &form;
    form.show();
    // Created once, hidden: its contact panel holds the settings as they were at start-up.
    TAboutBox about(&form);
    AboutBox = &about;
    // A signal that came during start-up has already asked the loop to end, before it ran.
    const int exitCode = StopSignalled() ? 0 : app.exec();
    form.close(); // after a stop signal: the options are written and the search waited for here
    AboutBox = nullptr;
    RevokeRichObjects();
    DestroyFrmPrint();
    return exitCode;
}
