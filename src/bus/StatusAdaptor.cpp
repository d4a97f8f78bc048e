#include "StatusAdaptor.h"

#include "CommandHandler.h"
#include "ServiceStatus.h"
#include "StatusKeys.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QMetaProperty>

StatusAdaptor::StatusAdaptor(CommandHandler* handler, const ServiceStatus& status)
    : QDBusAbstractAdaptor(handler), m_status(status)
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    qDBusRegisterMetaType<QMap<QString, qulonglong>>();
    connect(&status, &ServiceStatus::changed, this, &StatusAdaptor::announce);
}

QString StatusAdaptor::version() const
{
    return QStringLiteral(COMMAND_HANDLER_VERSION);
}

qulonglong StatusAdaptor::servingSince() const
{
    return m_status.servingSinceUs();
}

QString StatusAdaptor::tablePath() const
{
    return m_status.tablePath();
}

uint StatusAdaptor::tableCommands() const
{
    return m_status.tableCommands();
}

qulonglong StatusAdaptor::tableLoadedAt() const
{
    return m_status.tableLoadedAtUs();
}

QString StatusAdaptor::tableRefusal() const
{
    return m_status.tableRefusal();
}

qulonglong StatusAdaptor::tableRefusedAt() const
{
    return m_status.tableRefusedAtUs();
}

QList<QVariantMap> StatusAdaptor::siblings() const
{
    return m_status.siblings();
}

QList<QVariantMap> StatusAdaptor::lanes() const
{
    return m_status.lanes();
}

qulonglong StatusAdaptor::answeredAtOnce() const
{
    return m_status.answeredAtOnce();
}

QMap<QString, qulonglong> StatusAdaptor::refused() const
{
    return m_status.refused();
}

// Qt D-Bus does not send PropertiesChanged for an adaptor's properties itself.
void StatusAdaptor::announce(const QStringList& properties) const
{
    QVariantMap changed;
    for (const QString& name : properties) {
        const int index = metaObject()->indexOfProperty(name.toLatin1().constData());
        changed.insert(name, metaObject()->property(index).read(this));
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << status::interfaceName << changed << QStringList();
    QDBusConnection::systemBus().send(signal);
}
