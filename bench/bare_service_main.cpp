// The bare yardstick service: learns the service's replies to the requests it is named on the
// command line, then serves them as com.vellorn.BareBench. With --forward first it is the
// forwarder instead, com.vellorn.ForwardBench, which calls the print-manager for FeedLines before
// it answers. Its name appears once it is ready.

#include "BareService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QtDebug>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QStringList requests = QCoreApplication::arguments().mid(1);
    const bool forwarding =
        !requests.isEmpty() && requests.constFirst() == QLatin1String("--forward");
    if (forwarding) {
        requests.removeFirst();
    }
    BareService service(forwarding);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!service.learnReplies(bus, requests)) {
        qCritical() << "bench-bare-service: the service did not answer every request with success";
        return 1;
    }
    const QString name = forwarding ? QStringLiteral("com.vellorn.ForwardBench")
                                    : QStringLiteral("com.vellorn.BareBench");
    if (!bus.registerObject(QStringLiteral("/"), &service, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(name)) {
        qCritical() << "bench-bare-service: cannot serve on the bus:" << bus.lastError().message();
        return 1;
    }
    return QCoreApplication::exec();
}
