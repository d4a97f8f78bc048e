#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

// The start-up gate: the entry point waits on gateCondition, holding gateMutex, until
// backendsReady is set. backendsReady is read and written only under gateMutex.
extern QMutex gateMutex;
extern QWaitCondition gateCondition;
extern bool backendsReady;

// Opens the start-up gate once print-manager, configuration-manager, document-manager and
// speechd have all reported themselves ready, then ends. It sleeps on the readiness directory
// between checks, and logs which siblings it waits for and when each arrives.
class SystemCheck : public QThread
{
    Q_OBJECT
public:
    using QThread::QThread;

protected:
    void run() override;
};
