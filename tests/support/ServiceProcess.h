#pragma once

#include <QProcess>
#include <QString>

// A real program under test: its standard output and error are merged and kept, and it is
// stopped when the object goes.
class ServiceProcess : public QProcess
{
    Q_OBJECT
public:
    explicit ServiceProcess(QObject* parent = nullptr);
    ~ServiceProcess() override;

    // Everything the program has printed so far.
    QString output();
    // Waits until the output holds the text; false on time-out or exit.
    bool waitForOutput(const QString& text, int timeoutMs = 10000);
    // Resident memory in KiB, or -1 when the program is not running.
    qint64 residentKiB() const;
    // SIGTERM, then SIGKILL if it does not go.
    void stop();
    // A signal to the program alone, never to the test's own process group: a program that has
    // already ended has no process id, and kill(0) would reach the test runner.
    void sendSignal(int signalNumber);

private:
    QByteArray m_output;
};
