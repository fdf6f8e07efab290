#include "app/Startup.h"

#include "app/Unit1.h"
#include "app/gConsts.h"

#include <QApplication>
#include <QStyleFactory>

int RunSifton(QApplication& app)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(QString::fromLatin1(gConsts::ProductTitle));

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    TForm1 form(arguments);
    form.show();
    return app.exec();
}
