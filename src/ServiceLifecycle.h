#pragma once

#include <QObject>

class QTimer;
class TerminationNotifier;

// The service's life after start-up, as its dependants and systemd see it: the readiness
// announcement once this process serves the bus name, an orderly stop on SIGTERM and SIGINT
// (exit 0), and a non-zero exit when the bus connection is lost, so that systemd restarts it.
// One per process.
class ServiceLifecycle : public QObject
{
    Q_OBJECT
public:
    explicit ServiceLifecycle(QObject* parent = nullptr);

    // Only the process that owns the bus name serves it: it announces itself ready. Another
    // instance never touches the readiness registry. Both end, non-zero, when the bus goes.
    void serve();
    void watchBus();

private:
    void stop(int signalNumber);
    void checkBusConnection();
    void withdraw();

    TerminationNotifier* m_termination;
    QTimer* m_busCheck;
    bool m_serving = false;
};
