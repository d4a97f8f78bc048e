#include "CommandHandlerAdaptor.h"

#include "CommandHandler.h"
#include "ServiceName.h"
#include "libpivra/DBusArgumentUnpack.h"
#include "ls/Enums.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QtDebug>

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
    m_registration = registerName(bus);
    if (m_registration != Registration::ownsName) {
        return;
    }
    qDebug() << "Successfully registered on DBus:" << commandHandlerServiceName;
}

// The bus answers a request for a name that another connection owns without an error, and one
// that its policy forbids with an error.
CommandHandlerAdaptor::Registration CommandHandlerAdaptor::registerName(QDBusConnection& bus)
{
    if (bus.registerService(commandHandlerServiceName)) {
        return Registration::ownsName;
    }
    const QString message = bus.lastError().message();
    if (message.isEmpty()) {
        qCritical() << "Unable to register Service: Service-name already in use.";
        return Registration::nameTaken;
    }
    qCritical() << "Unable to register Service: " << message;
    return Registration::nameRefused;
}

QVariantMap CommandHandlerAdaptor::process(const QVariantMap& request)
{
    const QVariantMap unpacked = libpivra::dbusArgumentUnpack(request);
    // A device command's reply goes out from its lane, so that this thread never waits for a
    // sibling. Qt D-Bus gives the call's context to the object the adaptor is attached to.
    const QDBusMessage call = m_handler->message();
    QDBusConnection bus = m_handler->connection();
    const std::optional<QVariantMap> reply =
        m_handler->submit(unpacked, [call, bus](const QVariantMap& answer) mutable {
            bus.send(call.createReply(QVariant(answer)));
        });
    if (reply) {
        return *reply;
    }
    m_handler->setDelayedReply(true);
    return {};
}
