#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace ls {

// Hands the lines typed on standard input to the event loop, one signal per line. Once the
// input has ended (or cannot be read) it stops watching it for good. A line longer than 64 KiB,
// or holding a NUL byte, is refused with one error line instead. While paused it hands on
// nothing and reads nothing more, so that a writer faster than the lines are handled is held
// back by the pipe rather than by this process's memory. Lives on the main thread.
class ConsoleReader : public QObject
{
    Q_OBJECT
public:
    explicit ConsoleReader(QObject* parent = nullptr);

    // Also from a receiver of textReceived, which then gets no further line until resumed. On
    // resuming, the lines read already come first, in order, before anything more is read.
    void setPaused(bool paused);

signals:
    void textReceived(QString text);

private slots:
    void readAvailable();

private:
    bool readChunk();
    void deliverCompleteLines();
    void deliver(QByteArray line);
    void stopWatching();
    void deliverLastLine();

    QSocketNotifier* m_notifier = nullptr;
    // The unfinished line, and complete lines not yet handed on.
    QByteArray m_pending;
    // Where the first line not yet handed on starts in m_pending.
    int m_lineStart = 0;
    // m_pending holds no line end before this offset.
    int m_scanned = 0;
    // The line being read has been refused as too long; its bytes are dropped up to its end.
    bool m_skippingLine = false;
    bool m_paused = false;
    // The input has ended; an unfinished last line may still wait for its turn.
    bool m_ended = false;
};

} // namespace ls
