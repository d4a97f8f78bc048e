#include "TerminationNotifier.h"

#include <QSocketNotifier>
#include <QtDebug>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalSockets[2] = {-1, -1};
const int terminationSignals[] = {SIGTERM, SIGINT};
// What the handler leaves for the event loop. Flags rather than one byte per signal: a burst
// then costs nothing, and a reload asked for many times while one runs is one more reload.
std::atomic<int> pendingTermination{0};
std::atomic<bool> pendingReload{false};
bool reloadCaught = false;

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

} // namespace

bool TerminationNotifier::catchSignals(bool withReload)
{
    // Non-blocking at both ends: the handler's write must never wait for a reader, which may be
    // the very thread it interrupted; once a byte waits, the loop is awake and more add nothing.
    if (signalSockets[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSockets) != 0) {
        qCritical() << "Cannot create the signal socket pair:" << qt_error_string(errno);
        return false;
    }
    for (const int signalNumber : terminationSignals) {
        install(signalNumber);
    }
    if (withReload && !reloadCaught) {
        reloadCaught = true;
        install(SIGHUP);
    }
    return true;
}

TerminationNotifier::TerminationNotifier(QObject* parent) : QObject(parent)
{
    if (!catchSignals(reloadCaught)) {
        return;
    }
    m_notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationNotifier::readSignal);
}

void TerminationNotifier::install(int signalNumber)
{
    struct sigaction action = {};
    action.sa_handler = &TerminationNotifier::handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

// The handlers stay for the rest of the process: a signal that comes while it ends (a stop asked
// for twice, a reload behind it) is noted and dropped rather than ending it with the default
// action, which would turn an orderly stop into a death by signal.
TerminationNotifier::~TerminationNotifier() = default;

// Runs in signal context, on whichever thread the signal lands: lock-free atomics and write()
// only, and errno is preserved for the interrupted code. A full socket means the loop is awake
// already, so a refused write loses nothing.
void TerminationNotifier::handleSignal(int signalNumber)
{
    const int savedErrno = errno;
    if (signalNumber == SIGHUP) {
        pendingReload.store(true);
    } else {
        pendingTermination.store(signalNumber);
    }
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &wake, 1);
    errno = savedErrno;
}

void TerminationNotifier::readSignal()
{
    char bytes[256];
    while (::read(signalSockets[1], bytes, sizeof bytes) > 0) {
    }
    deliverPending();
}

void TerminationNotifier::deliverPending()
{
    if (const int signalNumber = pendingTermination.exchange(0); signalNumber != 0) {
        emit terminationRequested(signalNumber);
        return;
    }
    if (pendingReload.exchange(false)) {
        emit reloadRequested();
    }
}
