#pragma once

#include <QDBusAbstractAdaptor>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QVariantMap>

class CommandHandler;
class ServiceStatus;

// The service's status on the bus, beside the command interface on the same object, read with
// org.freedesktop.DBus.Properties. PropertiesChanged goes out for the properties that change
// rarely (the table, the siblings' presence, the start of serving); the counts and the lanes
// are read when asked, so a busy service sends nothing more. The introspection data below is
// the interface as the shipped XML describes it. Lives on the main thread with the handler, and
// is called there by Qt D-Bus only.
class StatusAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.CommandHandler.Status")
    Q_CLASSINFO("D-Bus Introspection",
                ""
                "  <interface name=\"com.vellorn.CommandHandler.Status\">\n"
                "    <property name=\"Version\" type=\"s\" access=\"read\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
                "value=\"const\"/>\n"
                "    </property>\n"
                "    <property name=\"ServingSince\" type=\"t\" access=\"read\"/>\n"
                "    <property name=\"TablePath\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"TableCommands\" type=\"u\" access=\"read\"/>\n"
                "    <property name=\"TableLoadedAt\" type=\"t\" access=\"read\"/>\n"
                "    <property name=\"TableRefusal\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"TableRefusedAt\" type=\"t\" access=\"read\"/>\n"
                "    <property name=\"Siblings\" type=\"aa{sv}\" access=\"read\"/>\n"
                "    <property name=\"Lanes\" type=\"aa{sv}\" access=\"read\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
                "value=\"false\"/>\n"
                "    </property>\n"
                "    <property name=\"AnsweredAtOnce\" type=\"t\" access=\"read\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
                "value=\"false\"/>\n"
                "    </property>\n"
                "    <property name=\"Refused\" type=\"a{st}\" access=\"read\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
                "value=\"false\"/>\n"
                "    </property>\n"
                "  </interface>\n")
    Q_PROPERTY(QString Version READ version)
    Q_PROPERTY(qulonglong ServingSince READ servingSince)
    Q_PROPERTY(QString TablePath READ tablePath)
    Q_PROPERTY(uint TableCommands READ tableCommands)
    Q_PROPERTY(qulonglong TableLoadedAt READ tableLoadedAt)
    Q_PROPERTY(QString TableRefusal READ tableRefusal)
    Q_PROPERTY(qulonglong TableRefusedAt READ tableRefusedAt)
    Q_PROPERTY(QList<QVariantMap> Siblings READ siblings)
    Q_PROPERTY(QList<QVariantMap> Lanes READ lanes)
    Q_PROPERTY(qulonglong AnsweredAtOnce READ answeredAtOnce)
    Q_PROPERTY(QMap<QString, qulonglong> Refused READ refused)
public:
    // Before the handler is registered on the bus: Qt D-Bus finds the adaptors of an object
    // when it is registered. The status outlives the adaptor.
    StatusAdaptor(CommandHandler* handler, const ServiceStatus& status);

    QString version() const;
    qulonglong servingSince() const;
    QString tablePath() const;
    uint tableCommands() const;
    qulonglong tableLoadedAt() const;
    QString tableRefusal() const;
    qulonglong tableRefusedAt() const;
    QList<QVariantMap> siblings() const;
    QList<QVariantMap> lanes() const;
    qulonglong answeredAtOnce() const;
    QMap<QString, qulonglong> refused() const;

private:
    void announce(const QStringList& properties) const;

    const ServiceStatus& m_status;
};
