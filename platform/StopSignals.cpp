#include "platform/StopSignals.h"

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};

int WakeFds[2] = {-1, -1}; // a signal writes to [1]; the GUI thread reads [0]
bool Signalled = false; // GUI thread

void OnSignal(int)
{
    // Only what is safe in a signal handler: the default action for the next one, and one byte.
    for (const int signal : Signals) {
        std::signal(signal, SIG_DFL);
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(WakeFds[1], &byte, 1);
}

} // namespace

void OnStopSignal(QObject* context, std::function<void()> handler)
{
    if (WakeFds[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, WakeFds) != 0) {
        return; // the signals keep their default action
    }
    auto* notifier = new QSocketNotifier(WakeFds[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler = std::move(handler)] {
        char bytes[16];
        while (::read(WakeFds[0], bytes, sizeof bytes) > 0) { }
        Signalled = true;
        handler();
    });
    struct sigaction action { };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Signals) {
        ::sigaction(signal, &action, nullptr);
    }
}

bool StopSignalled()
{
    return Signalled;
}
