#include "ServiceWatcher.h"
#include "SimulatedConfigurationManager.h"
#include "SimulatedDocumentManager.h"
#include "SimulatedPrintManager.h"
#include "SimulatedSpeech.h"
#include "TerminationNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QtDebug>

namespace {

QString siblingNames()
{
    QStringList names;
    for (const Sibling& sibling : siblings::all()) {
        names << sibling.name;
    }
    return names.join(QStringLiteral(" | "));
}

SimulatedSibling* createSibling(const QString& name, QObject* parent)
{
    if (name == siblings::of(siblings::printManager).name) {
        return new SimulatedPrintManager(parent);
    }
    if (name == siblings::of(siblings::documentManager).name) {
        return new SimulatedDocumentManager(parent);
    }
    if (name == siblings::of(siblings::configurationManager).name) {
        return new SimulatedConfigurationManager(parent);
    }
    if (name == siblings::of(siblings::speech).name) {
        return new SimulatedSpeech(parent);
    }
    return nullptr;
}

bool serveOnBus(SimulatedSibling* sibling)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        qCritical().noquote() << sibling->name() + QStringLiteral(": no system bus:")
                              << bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(QStringLiteral("/"), sibling, QDBusConnection::ExportAllSlots)) {
        qCritical().noquote() << sibling->name() + QStringLiteral(": cannot register \"/\":")
                              << bus.lastError().message();
        return false;
    }
    if (!bus.registerService(sibling->busName())) {
        qCritical().noquote() << sibling->name() + QStringLiteral(": cannot own")
                              << sibling->busName() << bus.lastError().message();
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sibling-simulator"));
    const QStringList arguments = QCoreApplication::arguments();
    SimulatedSibling* sibling =
        arguments.size() == 2 ? createSibling(arguments.at(1), &application) : nullptr;
    if (sibling == nullptr) {
        qCritical().noquote() << "usage: sibling-simulator" << siblingNames();
        return 2;
    }

    // Installed before the name is owned, so that a stop right after start is a clean one.
    TerminationNotifier termination;
    QObject::connect(&termination, &TerminationNotifier::terminationRequested, &application,
                     [sibling] {
                         ServiceWatcher::setReady(sibling->readinessName(), false);
                         qInfo().noquote() << sibling->name() + QStringLiteral(": stopping");
                         QCoreApplication::quit();
                     });
    if (!termination.isValid() || !serveOnBus(sibling)) {
        return 1;
    }
    ServiceWatcher::setReady(sibling->readinessName(), true);
    qInfo().noquote() << sibling->name() + QStringLiteral(": serving as") << sibling->busName();
    return QCoreApplication::exec();
}
