// The bare yardstick service: learns the service's replies to the requests it is named on the
// command line, then serves them as com.vellorn.BareBench. Its name appears once it is ready.

#include "BareService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QtDebug>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    BareService service;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!service.learnReplies(bus, QCoreApplication::arguments().mid(1))) {
        qCritical() << "bench-bare-service: the service did not answer every request with success";
        return 1;
    }
    if (!bus.registerObject(QStringLiteral("/"), &service, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("com.vellorn.BareBench"))) {
        qCritical() << "bench-bare-service: cannot serve on the bus:" << bus.lastError().message();
        return 1;
    }
    return QCoreApplication::exec();
}
