#include "app/Startup.h"

#include "app/Settings.h"
#include "app/Unit1.h"
#include "app/gConsts.h"
#include "platform/Application.h"

#include <QApplication>
#include <QStyleFactory>

int RunSifton(QApplication& app)
{
    Settings::FileName(); // fixed before any window exists
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // The title is what the task bar shows; the window's own caption comes first in its title bar.
    Application::SetOnTitleChange([](const QString& Title) { QGuiApplication::setApplicationDisplayName(Title); });
    Application::SetTitle(QString::fromLatin1(gConsts::ProductTitle));

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    TForm1 form(arguments);
    form.show();
    return app.exec();
}
