#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a signal on the event loop. The handler only writes to a
// socket pair; everything else happens in terminationRequested's receivers. One per process.
class TerminationNotifier : public QObject
{
    Q_OBJECT
public:
    explicit TerminationNotifier(QObject* parent = nullptr);
    ~TerminationNotifier() override;

    bool isValid() const { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    static void handleSignal(int signalNumber);
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
