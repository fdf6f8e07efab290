// The Qt application the widget and document targets need, on the offscreen platform.
#pragma once

#include <QApplication>
#include <QStyleFactory>

#include "FuzzSupport.h"

namespace fuzz {

/// The QApplication every widget and document needs; created on the first call.
inline void StartApplication()
{
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
}

} // namespace fuzz
