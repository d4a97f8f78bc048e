#include "SystemCheck.h"

#include "ServiceWatcher.h"

#include <QStringList>

QMutex gateMutex;
QWaitCondition gateCondition;
bool backendsReady = false;

namespace {

// Every name is asked on every pass, even after a not-ready answer: only one pass in which all
// four answer ready counts, so a sibling that was ready earlier and has gone again holds the
// gate.
bool allReady(const QStringList& services)
{
    bool ready = true;
    for (const QString& service : services) {
        ready = ServiceWatcher::isReady(service) && ready;
    }
    return ready;
}

} // namespace

void SystemCheck::run()
{
    gateMutex.lock();
    const QStringList services{QStringLiteral("print-manager"),
                               QStringLiteral("configuration-manager"),
                               QStringLiteral("document-manager"), QStringLiteral("speechd")};
    while (!allReady(services)) {
        // Passes follow one another at once; yielding at least lets the siblings that are
        // still starting have the core first.
        QThread::yieldCurrentThread();
    }
    backendsReady = true;
    gateCondition.wakeAll();
    gateMutex.unlock();
    quit();
}
