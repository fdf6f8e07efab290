// The program as it starts for real, with one addition for the stop-signal test: it writes a line to its
// standard output when a modal window opens ("modal <class>: <text>"), so that the test sends its signal
// while the window is open.
#include "app/Startup.h"
#include "platform/Application.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [] {
        static const QWidget* announced = nullptr;
        const QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == announced) {
            return;
        }
        announced = modal;
        const auto* box = qobject_cast<const QMessageBox*>(modal);
        const QString text = box != nullptr ? box->text() : modal->windowTitle();
        std::printf("modal %s: %s\n", modal->metaObject()->className(), text.toLocal8Bit().constData());
        std::fflush(stdout);
    });
    watch.start(20);
    return RunSifton(app, app.Arguments());
}
