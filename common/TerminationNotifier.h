#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT, and SIGHUP once asked to, into signals on the event loop. The
// handler only writes to a socket pair; everything else happens in the receivers. One per
// process; lives on the main thread.
class TerminationNotifier : public QObject
{
    Q_OBJECT
public:
    explicit TerminationNotifier(QObject* parent = nullptr);
    ~TerminationNotifier() override;

    bool isValid() const { return m_notifier != nullptr; }
    // From here on SIGHUP comes as reloadRequested rather than ending the process.
    void handleReload();

signals:
    void terminationRequested(int signalNumber);
    void reloadRequested();

private:
    static void handleSignal(int signalNumber);
    static void install(int signalNumber);
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
    bool m_handlesReload = false;
};
