#include "TerminationNotifier.h"

#include <QSocketNotifier>
#include <QtDebug>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalSockets[2] = {-1, -1};
const int handledSignals[] = {SIGTERM, SIGINT};
} // namespace

TerminationNotifier::TerminationNotifier(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        qCritical() << "Cannot create the signal socket pair:" << qt_error_string(errno);
        return;
    }
    m_notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationNotifier::readSignal);

    for (const int signalNumber : handledSignals) {
        install(signalNumber);
    }
}

void TerminationNotifier::install(int signalNumber)
{
    struct sigaction action = {};
    action.sa_handler = &TerminationNotifier::handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

void TerminationNotifier::handleReload()
{
    if (m_notifier != nullptr && !m_handlesReload) {
        m_handlesReload = true;
        install(SIGHUP);
    }
}

TerminationNotifier::~TerminationNotifier()
{
    if (m_notifier == nullptr) {
        return;
    }
    for (const int signalNumber : handledSignals) {
        ::signal(signalNumber, SIG_DFL);
    }
    if (m_handlesReload) {
        ::signal(SIGHUP, SIG_DFL);
    }
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

// Runs in signal context: write() is async-signal-safe, and errno is preserved for the
// interrupted code.
void TerminationNotifier::handleSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

void TerminationNotifier::readSignal()
{
    char byte = 0;
    if (::read(signalSockets[1], &byte, 1) != 1) {
        return;
    }
    if (byte == SIGHUP) {
        emit reloadRequested();
    } else {
        emit terminationRequested(static_cast<int>(byte));
    }
}
