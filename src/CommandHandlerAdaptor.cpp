#include "CommandHandlerAdaptor.h"

#include "CommandHandler.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QtDebug>

const QString CommandHandlerAdaptor::serviceName = QStringLiteral("com.vellorn.CommandHandler");

CommandHandlerAdaptor::CommandHandlerAdaptor(CommandHandler* handler)
    : QDBusAbstractAdaptor(handler), m_handler(handler)
{
    setAutoRelaySignals(true);

    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        qCritical() << "Unable to connect to system-bus!";
        return;
    }
    if (!bus.registerObject(QStringLiteral("/"), handler, QDBusConnection::ExportAdaptors)) {
        qCritical() << "Unable to register object on system-bus!";
        return;
    }
    m_onBus = true;
    if (!bus.registerService(serviceName)) {
        const QString message = bus.lastError().message();
        if (message.isEmpty()) {
            qCritical() << "Unable to register Service: Service-name already in use.";
        } else {
            qCritical() << "Unable to register Service: " << message;
        }
        return;
    }
    m_ownsName = true;
    qDebug() << "Successfully registered on DBus:" << serviceName;
}

QVariantMap CommandHandlerAdaptor::process(const QVariantMap& request)
{
    return static_cast<ls::IDBusAdaptor*>(m_handler)->process(
        libpivra::dbusArgumentUnpack(request));
}
