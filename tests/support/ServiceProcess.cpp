#include "ServiceProcess.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <unistd.h>

ServiceProcess::ServiceProcess(QObject* parent) : QProcess(parent)
{
    setProcessChannelMode(QProcess::MergedChannels);
}

ServiceProcess::~ServiceProcess()
{
    stop();
}

QString ServiceProcess::output()
{
    // Also what is still in the pipe, not yet seen by the event loop: the programs log what they
    // do before they answer, so once an answer has come its lines must be part of the output.
    while (waitForReadyRead(0)) {
    }
    m_output += readAll();
    return QString::fromUtf8(m_output);
}

bool ServiceProcess::waitForOutput(const QString& text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!output().contains(text)) {
        if (deadline.hasExpired() || state() == QProcess::NotRunning) {
            return output().contains(text);
        }
        waitForReadyRead(qMax<qint64>(1, qMin<qint64>(100, deadline.remainingTime())));
    }
    return true;
}

qint64 ServiceProcess::residentKiB() const
{
    QFile statm(QStringLiteral("/proc/%1/statm").arg(processId()));
    if (processId() <= 0 || !statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE) / 1024;
}

void ServiceProcess::sendSignal(int signalNumber)
{
    if (processId() > 0) {
        ::kill(pid_t(processId()), signalNumber);
    }
}

void ServiceProcess::stop()
{
    if (state() == QProcess::NotRunning) {
        return;
    }
    terminate();
    if (!waitForFinished(5000)) {
        kill();
        waitForFinished(5000);
    }
    m_output += readAll();
}
