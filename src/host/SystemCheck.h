#pragma once

#include <QThread>

// The start-up gate: ends once print-manager, configuration-manager, document-manager and
// speechd have all reported themselves ready, or once asked to (requestInterruption), within one
// re-check interval. It sleeps on the readiness directory between checks, and logs which
// siblings it waits for and when each arrives. Started from the main thread; run() runs on the
// gate's own thread and shares nothing with the main thread but the interruption flag.
class SystemCheck : public QThread
{
    Q_OBJECT
public:
    using QThread::QThread;

protected:
    void run() override;
};
