#include "Signals.h"

#include <QCoreApplication>

#ifndef _WIN32
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {
int wakePipe[2] = {-1, -1};
// Any thread may take a signal, two of them at once: only one may see the first request.
std::atomic<int> requested{0};
static_assert(std::atomic<int>::is_always_lock_free, "used from a signal handler");

void onSignal(int sig) {
    if (requested.exchange(1) != 0)
        _exit(128 + sig); // asked twice: the user means it
    const char byte = char(sig);
    [[maybe_unused]] const ssize_t n = write(wakePipe[1], &byte, 1);
}
} // namespace

void installTerminationHandler(std::function<void()> onRequest) {
    if (pipe(wakePipe) != 0)
        return;
    for (int fd : wakePipe)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    auto* notifier =
        new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier, onRequest] {
        char byte;
        [[maybe_unused]] const ssize_t n = read(wakePipe[0], &byte, 1);
        notifier->setEnabled(false);
        onRequest();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
}

} // namespace platform

#else
#include <windows.h>

namespace platform {
namespace {
std::function<void()> handler;
volatile LONG requested = 0;

BOOL WINAPI onConsoleEvent(DWORD) {
    if (InterlockedExchange(&requested, 1))
        ExitProcess(1);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { handler(); }, Qt::QueuedConnection);
    return TRUE;
}
} // namespace

void installTerminationHandler(std::function<void()> onRequest) {
    handler = std::move(onRequest);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

} // namespace platform
#endif
