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
// Far beyond anything an operator types. Without a bound, a runaway writer on standard input
// would cost memory in proportion to its line and the console's word splitting a multiple of it.
constexpr int maxLineBytes = 64 * 1024;

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

void refuseLongLine()
{
    qCritical("ConsoleReader: line longer than %d KiB refused", maxLineBytes / 1024);
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

void ConsoleReader::setPaused(bool paused)
{
    m_paused = paused;
    if (paused) {
        if (m_notifier != nullptr) {
            m_notifier->setEnabled(false);
        }
        return;
    }
    const QPointer<ConsoleReader> alive(this);
    deliverCompleteLines();
    if (alive.isNull() || m_paused) {
        return;
    }
    if (m_ended) {
        deliverLastLine();
    } else if (m_notifier != nullptr) {
        m_notifier->setEnabled(true);
    }
}

void ConsoleReader::readAvailable()
{
    const QPointer<ConsoleReader> alive(this);
    for (int i = 0; i < chunksPerWakeUp && !m_paused && inputReadable(); ++i) {
        const bool open = readChunk();
        if (!open) {
            stopWatching();
        }
        deliverCompleteLines();
        if (alive.isNull()) {
            return;
        }
        if (!open) {
            if (!m_paused) {
                deliverLastLine();
            }
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
    // Only the bytes not searched before: searching the whole unfinished line for every chunk
    // made a long line cost time in the square of its length. The offsets live in the members,
    // not here, so that a listener that reads on (a nested event loop) leaves them consistent.
    for (int newline = m_pending.indexOf('\n', m_scanned); !m_paused && newline >= 0;
         newline = m_pending.indexOf('\n', m_scanned)) {
        const QByteArray line = m_pending.mid(m_lineStart, newline - m_lineStart);
        const bool refused = m_skippingLine;
        m_lineStart = m_scanned = newline + 1;
        m_skippingLine = false;
        if (!refused) {
            deliver(line);
            // A listener may delete the reader; nothing of it may be touched after that.
            if (alive.isNull()) {
                return;
            }
        }
    }
    // The lines handed on leave in one move rather than one by one, which would shift the
    // rest of the buffer for each of them.
    m_pending.remove(0, m_lineStart);
    m_lineStart = 0;
    if (m_paused) {
        // Complete lines may wait behind the one handed on last; they are searched again.
        m_scanned = 0;
        return;
    }
    m_scanned = m_pending.size();
    if (m_skippingLine) {
        m_pending.clear();
        m_scanned = 0;
    } else if (m_pending.size() > maxLineBytes + 1) {
        // The byte beyond the limit may be the CR of a CR LF end; anything more is too long.
        // Refused now and dropped as it comes, so that the line is never held in memory.
        refuseLongLine();
        m_skippingLine = true;
        m_pending.clear();
        m_scanned = 0;
    }
}

// Refuses rather than shortens: a line cut at a NUL byte could run another command than the
// one sent.
void ConsoleReader::deliver(QByteArray line)
{
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    if (line.size() > maxLineBytes) {
        refuseLongLine();
        return;
    }
    if (line.contains('\0')) {
        qCritical("ConsoleReader: line holding a NUL byte refused");
        return;
    }
    emit textReceived(QString::fromLocal8Bit(line));
}

void ConsoleReader::stopWatching()
{
    // Disabled at once: a notifier on an ended file would otherwise fire on every loop pass
    // until the deferred deletion runs.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    m_ended = true;
}

// Once every complete line has been handed on: the input's end ends the last line too.
void ConsoleReader::deliverLastLine()
{
    // A refused line has had its error line already; its start is gone.
    const QByteArray last = m_skippingLine ? QByteArray() : m_pending.mid(m_lineStart);
    m_pending.clear();
    m_lineStart = m_scanned = 0;
    m_skippingLine = false;
    if (!last.isEmpty()) {
        deliver(last);
    }
}

} // namespace ls
