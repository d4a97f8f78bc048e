#pragma once

#include <QObject>

#include <functional>

class ServiceStatus;
class StatusNotice;
class TerminationNotifier;

// The service's life as its dependants and systemd see it, from the first step on: the wait for
// the siblings, the readiness announcement once this process serves the bus name, an orderly
// stop on SIGTERM and SIGINT (exit 0), a reload on SIGHUP, and a non-zero exit when the bus
// connection is lost or readiness cannot be announced, so that systemd restarts it. One per
// process; lives on the main thread.
class ServiceLifecycle : public QObject
{
    Q_OBJECT
public:
    explicit ServiceLifecycle(QObject* parent = nullptr);

    // Withdraws the announcement, also a stale one left by a killed run; an error line when it
    // stays.
    static void withdrawAnnouncement();
    // Waits for the siblings with the event loop running, so that a stop meanwhile is obeyed at
    // once. False when the service was stopped while it waited.
    bool waitForSiblings();
    // What SIGHUP does from here on; until then it is ignored with one line.
    void setReload(std::function<void()> reload);
    // Only the process that owns the bus name serves it: it announces itself ready. False, after
    // the error line, when the announcement cannot be written: nobody would see the service.
    bool serve();
    // systemd's status line follows the status from now on.
    void showStatus(const ServiceStatus& status);
    // Another instance never touches the readiness registry. Both end, non-zero, when the bus
    // goes.
    void watchBus();

private slots:
    // The bus's own word that the connection is gone, which the connection delivers locally.
    void onBusDisconnected();

private:
    void stop(int signalNumber);
    void reload();
    void withdraw();

    TerminationNotifier* m_termination;
    StatusNotice* m_notice;
    bool m_watchingBus = false;
    std::function<void()> m_reload;
    bool m_serving = false;
    bool m_stopped = false;
};
