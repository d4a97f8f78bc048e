#include "ServiceLifecycle.h"

#include "CommandHandlerAdaptor.h"
#include "ServiceWatcher.h"
#include "TerminationNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <QtDebug>

#include <cstdlib>

namespace {

const QString readinessName = QStringLiteral("command-handler");

// A lost connection shows only in the connection's state; this is how late it is noticed.
constexpr int busCheckIntervalMs = 1000;

} // namespace

ServiceLifecycle::ServiceLifecycle(QObject* parent)
    : QObject(parent), m_termination(new TerminationNotifier(this)), m_busCheck(new QTimer(this))
{
    connect(m_termination, &TerminationNotifier::terminationRequested, this,
            &ServiceLifecycle::stop);
    m_busCheck->setInterval(busCheckIntervalMs);
    connect(m_busCheck, &QTimer::timeout, this, &ServiceLifecycle::checkBusConnection);
}

void ServiceLifecycle::serve()
{
    m_serving = true;
    ServiceWatcher::setReady(readinessName, true);
    watchBus();
}

void ServiceLifecycle::watchBus()
{
    m_busCheck->start();
}

void ServiceLifecycle::stop(int signalNumber)
{
    qInfo() << "Stopping on signal" << signalNumber;
    if (m_serving) {
        withdraw();
        QDBusConnection::systemBus().unregisterService(CommandHandlerAdaptor::serviceName);
    }
    QCoreApplication::exit(EXIT_SUCCESS);
}

void ServiceLifecycle::checkBusConnection()
{
    if (QDBusConnection::systemBus().isConnected()) {
        return;
    }
    qCritical() << "Lost the connection to the system bus!";
    withdraw();
    QCoreApplication::exit(EXIT_FAILURE);
}

// Readiness goes before the name, so that no dependant sees a ready service it cannot reach.
void ServiceLifecycle::withdraw()
{
    m_busCheck->stop();
    if (m_serving) {
        m_serving = false;
        ServiceWatcher::setReady(readinessName, false);
    }
}
