#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace ls {

// Hands the lines typed on standard input to the event loop, one signal per line. Once the
// input has ended (or cannot be read) it stops watching it for good.
class ConsoleReader : public QObject
{
    Q_OBJECT
public:
    explicit ConsoleReader(QObject* parent = nullptr);

    // False once standard input has ended or failed.
    bool isWatching() const;

signals:
    void textReceived(QString text);

private slots:
    void readAvailable();

private:
    bool readChunk();
    void deliverCompleteLines();
    void stopWatching();

    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_pending;
};

} // namespace ls
