#include "ConsoleReader.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(consoleReaderCategory, "ConsoleReader", QtCriticalMsg)

constexpr int inputFd = STDIN_FILENO;
constexpr int chunkSize = 4096;
// A large paste is read in slices so that bus requests are not held up behind it.
constexpr int chunksPerWakeUp = 16;

// The notifier's readiness can be stale (someone else may share the terminal), so every read
// is preceded by a zero-time poll: standard input is never switched to non-blocking mode,
// which would leak into the shell that shares it.
bool inputReadable()
{
    pollfd descriptor{inputFd, POLLIN, 0};
    int result = 0;
    do {
        result = ::poll(&descriptor, 1, 0);
    } while (result < 0 && errno == EINTR);
    return result != 0;
}

QString lineText(QByteArray line)
{
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return QString::fromLocal8Bit(line);
}

} // namespace

namespace ls {

ConsoleReader::ConsoleReader(QObject* parent) : QObject(parent)
{
    if (::fcntl(inputFd, F_GETFL) < 0) {
        qCDebug(consoleReaderCategory) << "standard input is not open; not reading it";
        return;
    }
    m_notifier = new QSocketNotifier(inputFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ConsoleReader::readAvailable);
}

bool ConsoleReader::isWatching() const
{
    return m_notifier != nullptr;
}

void ConsoleReader::readAvailable()
{
    const QPointer<ConsoleReader> alive(this);
    for (int i = 0; i < chunksPerWakeUp && inputReadable(); ++i) {
        const bool open = readChunk();
        deliverCompleteLines();
        if (alive.isNull()) {
            return;
        }
        if (!open) {
            stopWatching();
            return;
        }
    }
}

// False at end of input or on a read error.
bool ConsoleReader::readChunk()
{
    char buffer[chunkSize];
    ssize_t count = 0;
    do {
        count = ::read(inputFd, buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    if (count > 0) {
        m_pending.append(buffer, static_cast<int>(count));
        return true;
    }
    if (count < 0 && errno == EAGAIN) {
        return true;
    }
    if (count < 0) {
        qCDebug(consoleReaderCategory) << "reading standard input failed, errno" << errno;
    }
    return false;
}

void ConsoleReader::deliverCompleteLines()
{
    const QPointer<ConsoleReader> alive(this);
    for (int newline = m_pending.indexOf('\n'); newline >= 0; newline = m_pending.indexOf('\n')) {
        const QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        // A listener may delete the reader; nothing of it may be touched after that.
        emit textReceived(lineText(line));
        if (alive.isNull()) {
            return;
        }
    }
}

void ConsoleReader::stopWatching()
{
    // Disabled at once: a notifier on an ended file would otherwise fire on every loop pass
    // until the deferred deletion runs.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    if (!m_pending.isEmpty()) {
        const QByteArray last = m_pending;
        m_pending.clear();
        emit textReceived(lineText(last));
    }
}

} // namespace ls
