#pragma once

#include <functional>

class QObject;

/// SIGTERM, SIGHUP and SIGINT (the session ending, the terminal closing, Ctrl+C) become a call of
/// handler on the GUI thread, so the program ends as if its window were closed: a running search
/// is cancelled, the options are written and temporary files removed. A second such signal ends the
/// program at once, for a program that no longer answers. context owns the watch.
void OnStopSignal(QObject* context, std::function<void()> handler);

/// True once a stop signal has reached its handler (GUI thread): the program is ending and starts
/// nothing new.
bool StopSignalled();
