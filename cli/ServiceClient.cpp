#include "ServiceClient.h"

#include "libpivra/DBusArgumentUnpack.h"
#include "ls/Enums.h"

#include <QDBusMessage>

namespace {
const QString serviceName = QStringLiteral("com.vellorn.CommandHandler");
const QString connectionName = QStringLiteral("chctl");

QDBusConnection connectTo(const QString& address)
{
    if (address.isEmpty()) {
        return QDBusConnection::systemBus();
    }
    return QDBusConnection::connectToBus(address, connectionName);
}
} // namespace

ServiceClient::ServiceClient(const QString& address, const QString& sender, int timeoutMs)
    : m_connection(connectTo(address)), m_sender(sender), m_timeoutMs(timeoutMs)
{
}

ServiceClient::~ServiceClient()
{
    if (m_connection.name() == connectionName) {
        QDBusConnection::disconnectFromBus(connectionName);
    }
}

ServiceClient::Answer ServiceClient::categories() const
{
    return call({{ls::commandIdKey, ls::CommandHandlerCmdId::GetCommandCategories}});
}

ServiceClient::Answer ServiceClient::commands(const QString& category) const
{
    return call(
        {{ls::commandIdKey, ls::CommandHandlerCmdId::GetCommands}, {ls::categoryKey, category}});
}

ServiceClient::Answer ServiceClient::run(int number, const QVariantList& arguments) const
{
    return call({{ls::commandIdKey, ls::CommandHandlerCmdId::HandleCommand},
                 {ls::subCommandIdKey, number},
                 {ls::argsKey, arguments}});
}

ServiceClient::Answer ServiceClient::call(QVariantMap request) const
{
    if (!m_connection.isConnected()) {
        const QDBusError error = m_connection.lastError();
        return {{}, QStringLiteral("%1: %2").arg(error.name(), error.message())};
    }
    request.insert(ls::senderIdKey, m_sender);
    QDBusMessage message = QDBusMessage::createMethodCall(serviceName, QStringLiteral("/"),
                                                          serviceName, QStringLiteral("process"));
    message << request;
    const QDBusMessage reply = m_connection.call(message, QDBus::Block, m_timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return {{}, QStringLiteral("%1: %2").arg(reply.errorName(), reply.errorMessage())};
    }
    if (reply.arguments().isEmpty()) {
        return {{}, QStringLiteral("the service answered without a reply map")};
    }
    return {libpivra::dbusValueUnpack(reply.arguments().constFirst()).toMap(), {}};
}
