#include "app/shutdownsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tessivane {

namespace {

int gSignalPipe[2] = {-1, -1};

void onSignal(int)
{
    // Only async-signal-safe work here: wake the event loop.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[0], &byte, 1);
}

} // namespace

void onShutdownRequest(std::function<void()> handler)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0)
        return;
    auto* notifier
        = new QSocketNotifier(gSignalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(
        notifier, &QSocketNotifier::activated, notifier, [handler = std::move(handler)] {
            char byte = 0;
            [[maybe_unused]] const ssize_t read = ::read(gSignalPipe[1], &byte, 1);
            handler();
        });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace tessivane
