#pragma once

#include <QIcon>
#include <QStringList>

class QApplication;

/// Program start: title, main window (which runs FormCreate with Arguments, the words after the
/// program's name), hidden about window, message loop.
/// The program's icon in the sizes of the icon theme.
QIcon ProgramIcon();

int RunSifton(QApplication& app, const QStringList& Arguments);
