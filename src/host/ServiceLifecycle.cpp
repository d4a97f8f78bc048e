#include "ServiceLifecycle.h"

#include "CommandHandlerAdaptor.h"
#include "ServiceWatcher.h"
#include "SystemCheck.h"
#include "TerminationNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEventLoop>
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
    connect(m_termination, &TerminationNotifier::reloadRequested, this, &ServiceLifecycle::reload);
    // SIGHUP would otherwise end the service, leaving its announcement behind.
    m_termination->handleReload();
    m_busCheck->setInterval(busCheckIntervalMs);
    connect(m_busCheck, &QTimer::timeout, this, &ServiceLifecycle::checkBusConnection);
}

void ServiceLifecycle::withdrawAnnouncement()
{
    if (!ServiceWatcher::setReady(readinessName, false)) {
        qCritical().noquote() << "The readiness announcement of" << readinessName
                              << "cannot be withdrawn from" << ServiceWatcher::directory();
    }
}

bool ServiceLifecycle::waitForSiblings()
{
    SystemCheck gate;
    QEventLoop waiting;
    connect(&gate, &SystemCheck::siblingsReady, &waiting, &QEventLoop::quit);
    if (!gate.start()) {
        // Ended early by stop(), which ends every event loop of the main thread.
        waiting.exec();
    }
    return !m_stopped;
}

void ServiceLifecycle::setReload(std::function<void()> reload)
{
    m_reload = std::move(reload);
}

bool ServiceLifecycle::serve()
{
    if (!ServiceWatcher::setReady(readinessName, true)) {
        qCritical().noquote() << QStringLiteral("The readiness of %1 cannot be announced in %2; "
                                                "stopping rather than serve unseen.")
                                     .arg(readinessName, ServiceWatcher::directory());
        return false;
    }
    m_serving = true;
    watchBus();
    return true;
}

void ServiceLifecycle::watchBus()
{
    m_busCheck->start();
}

void ServiceLifecycle::stop(int signalNumber)
{
    qInfo() << "Stopping on signal" << signalNumber;
    m_stopped = true;
    if (m_serving) {
        withdraw();
        QDBusConnection::systemBus().unregisterService(CommandHandlerAdaptor::serviceName);
    }
    QCoreApplication::exit(EXIT_SUCCESS);
}

void ServiceLifecycle::reload()
{
    if (!m_reload) {
        qInfo() << "SIGHUP ignored: the command table is not loaded yet";
        return;
    }
    m_reload();
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
        withdrawAnnouncement();
    }
}
