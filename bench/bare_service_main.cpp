// The bare Qt D-Bus service of the round-trip comparison, on the system bus that
// DBUS_SYSTEM_BUS_ADDRESS names, under the well-known name given as the only argument
// (com.vellorn.BareBench when none is given).

#include "BareService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QtDebug>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString name = arguments.size() > 1 ? arguments.at(1) : BareService::serviceName;
    BareService service;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerObject(QStringLiteral("/"), &service, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(name)) {
        qCritical() << "bench-bare-service: cannot serve on the bus:" << bus.lastError().message();
        return 1;
    }
    return QCoreApplication::exec();
}
