#include "ServiceLifecycle.h"

#include "CommandHandlerAdaptor.h"
#include "ServiceName.h"
#include "ServiceWatcher.h"
#include "StatusNotice.h"
#include "SystemCheck.h"
#include "TerminationNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEventLoop>
#include <QtDebug>

#include <cstdlib>

namespace {

const QString readinessName = QStringLiteral("command-handler");

// Where a connection delivers its own end: libdbus sends the "Disconnected" signal from this
// path to the connection itself when the bus goes away.
const QString localPath = QStringLiteral("/org/freedesktop/DBus/Local");
const QString localInterface = QStringLiteral("org.freedesktop.DBus.Local");

} // namespace

ServiceLifecycle::ServiceLifecycle(QObject* parent)
    : QObject(parent), m_termination(new TerminationNotifier(this)),
      m_notice(new StatusNotice(this))
{
    connect(m_termination, &TerminationNotifier::terminationRequested, this,
            &ServiceLifecycle::stop);
    // SIGHUP would otherwise end the service, leaving its announcement behind: main catches it,
    // with the termination signals, before anything else.
    connect(m_termination, &TerminationNotifier::reloadRequested, this, &ServiceLifecycle::reload);
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
    // A signal that came while the process started is obeyed before anything is waited for.
    m_termination->deliverPending();
    if (m_stopped) {
        return false;
    }
    SystemCheck gate;
    QEventLoop waiting;
    connect(&gate, &SystemCheck::siblingsReady, &waiting, &QEventLoop::quit);
    connect(&gate, &SystemCheck::waiting, this, [this](const QStringList& missing) {
        m_notice->show(QStringLiteral("Waiting for %1").arg(missing.join(QStringLiteral(", "))));
    });
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

void ServiceLifecycle::showStatus(const ServiceStatus& status)
{
    m_notice->follow(status);
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

// Woken only when the bus goes: an idle service sleeps until something happens.
void ServiceLifecycle::watchBus()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    const bool watched =
        bus.connect(QString(), localPath, localInterface, QStringLiteral("Disconnected"), this,
                    SLOT(onBusDisconnected()));
    m_watchingBus = true;
    // Lost before the watch began (Qt refuses to watch a closed connection): nothing would
    // ever tell. Queued, as the event loop that the exit ends may not run yet.
    if (!watched || !bus.isConnected()) {
        QMetaObject::invokeMethod(this, &ServiceLifecycle::onBusDisconnected, Qt::QueuedConnection);
    }
}

void ServiceLifecycle::stop(int signalNumber)
{
    qInfo() << "Stopping on signal" << signalNumber;
    m_stopped = true;
    if (m_serving) {
        withdraw();
        QDBusConnection::systemBus().unregisterService(commandHandlerServiceName);
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

void ServiceLifecycle::onBusDisconnected()
{
    if (!m_watchingBus) {
        return;
    }
    qCritical() << "Lost the connection to the system bus!";
    withdraw();
    QCoreApplication::exit(EXIT_FAILURE);
}

// Readiness goes before the name, so that no dependant sees a ready service it cannot reach.
void ServiceLifecycle::withdraw()
{
    m_watchingBus = false;
    if (m_serving) {
        m_serving = false;
        withdrawAnnouncement();
    }
}
