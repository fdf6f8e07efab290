#pragma once

class QApplication;

/// Program start: title, main window (which runs FormCreate), hidden about window, message loop.
int RunSifton(QApplication& app);
