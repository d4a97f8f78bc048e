#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT, and SIGHUP when caught with reloads, into signals on the event
// loop. The handler only marks which signal came and wakes the loop; everything else happens in
// the receivers, and the signals stay caught until the process ends. It never blocks, however
// many signals come: a burst of SIGHUPs during a reload makes one reload more, and a termination
// goes ahead of a reload that waits. One per process; lives on the main thread.
class TerminationNotifier : public QObject
{
    Q_OBJECT
public:
    // Catches the signals from the first moment, before any object exists (the application's
    // own start-up takes tens of milliseconds and a bus round trip): a signal that comes before
    // the notifier is made waits for it. Called again, it only adds SIGHUP when asked. False,
    // after an error line, when the signals cannot be caught.
    static bool catchSignals(bool withReload);

    explicit TerminationNotifier(QObject* parent = nullptr);
    ~TerminationNotifier() override;

    bool isValid() const { return m_notifier != nullptr; }
    // Emits what has come and not been told yet, a termination before a reload, without waiting
    // for the event loop: for a caller about to start work that a stop should prevent.
    void deliverPending();

signals:
    void terminationRequested(int signalNumber);
    void reloadRequested();

private:
    static void handleSignal(int signalNumber);
    static void install(int signalNumber);
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
