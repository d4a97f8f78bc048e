#include "ServiceClient.h"

#include "ErrorText.h"
#include "ServiceName.h"
#include "StatusKeys.h"
#include "libpivra/DBusArgumentUnpack.h"
#include "ls/Enums.h"

#include <QDBusError>
#include <QElapsedTimer>

namespace {
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
    request.insert(ls::senderIdKey, m_sender);
    // A technician wants the reason of a failure, not only its errorId.
    request.insert(errorTextKey, true);
    // The service's interface is named as its bus name.
    QDBusMessage message =
        QDBusMessage::createMethodCall(commandHandlerServiceName, QStringLiteral("/"),
                                       commandHandlerServiceName, QStringLiteral("process"));
    message << request;
    return ask(message);
}

ServiceClient::Answer ServiceClient::status() const
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        commandHandlerServiceName, QStringLiteral("/"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    message << status::interfaceName;
    return ask(message);
}

ServiceClient::Answer ServiceClient::ask(const QDBusMessage& message) const
{
    if (!m_connection.isConnected()) {
        const QDBusError error = m_connection.lastError();
        return {{}, unreachable(error.name(), error.message())};
    }
    QElapsedTimer waited;
    waited.start();
    const QDBusMessage reply = m_connection.call(message, QDBus::Block, m_timeoutMs);
    // The bus answers NoReply at once too, when the service leaves the bus while it serves the
    // call; only the time spent tells the two apart. Qt's timers end up to 5 % early.
    if (reply.errorName() == QDBusError::errorString(QDBusError::NoReply) &&
        waited.elapsed() * 20 >= static_cast<qint64>(m_timeoutMs) * 19) {
        return {{}, noReply(), true};
    }
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return {{}, unreachable(reply.errorName(), reply.errorMessage())};
    }
    if (reply.arguments().isEmpty()) {
        return {{}, QStringLiteral("the command handler answered without a reply map")};
    }
    return {libpivra::dbusValueUnpack(reply.arguments().constFirst()).toMap(), {}};
}

// The bus's refusal names its policy's rules, hundreds of characters that do not tell a user
// outside the group what to do about it.
QString ServiceClient::unreachable(const QString& errorName, const QString& errorMessage)
{
    if (errorName == QDBusError::errorString(QDBusError::AccessDenied)) {
        return QStringLiteral("access refused: chctl needs root or membership of the group "
                              "cmdhandler; log in again after being added");
    }
    return QStringLiteral("cannot reach the command handler: %1: %2").arg(errorName, errorMessage);
}

QString ServiceClient::noReply() const
{
    return QStringLiteral("no reply within %1 s; the command may still run")
        .arg(QString::number(m_timeoutMs / 1000.0));
}
