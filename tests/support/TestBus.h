#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QVector>

#include <tuple>

class ServiceProcess;

// A private system-type bus run by a real dbus-daemon with the project's configuration, with
// its own readiness directory and state directory. start() points this process's environment
// at them, so everything started from here (the service, the sibling simulators) uses them
// unchanged. Stops what it started when it goes.
class TestBus : public QObject
{
    Q_OBJECT
public:
    explicit TestBus(QObject* parent = nullptr);
    ~TestBus() override;

    bool start();
    QString address() const { return m_address; }
    // The bus daemon itself, for tests that take the bus away.
    ServiceProcess* daemon() const { return m_daemon; }
    // The test's own connection to the private bus.
    QDBusConnection connection() const { return QDBusConnection::connectToBus(m_address, m_id); }
    QString watcherDirectory() const { return m_root.filePath(QStringLiteral("watcher")); }
    QString stateDirectory() const { return m_root.filePath(QStringLiteral("state")); }

    // Writes the command table the service will read (the default table until told otherwise).
    void setCommandTable(const QByteArray& contents) const;
    void removeCommandTable() const;
    static QByteArray defaultCommandTable();
    // The default table with the given fields of its entries set: entry, field, value. An entry
    // that is not there is made; an undefined value takes the field away.
    static QJsonObject
    defaultTableWith(const QVector<std::tuple<QString, QString, QJsonValue>>& changes = {});

    // The real service binary. It waits for the siblings' readiness before it registers on
    // the bus: start the simulators or call markSiblingsReady() first.
    ServiceProcess* startService(const QStringList& arguments = {});
    // One sibling of the simulator: one of siblings. The last one started under each name is
    // sibling(name).
    ServiceProcess* startSibling(const QString& sibling);
    ServiceProcess* sibling(const QString& name) const { return m_siblings.value(name); }
    // Starts all four and waits for their readiness.
    bool startSiblings();
    void markSiblingsReady(bool ready = true) const;

    bool waitForReady(const QString& name, int timeoutMs = 15000) const;
    bool waitForBusName(const QString& name, int timeoutMs = 15000) const;

    // Sends a call and waits for its answer with the event loop running, so that a service
    // exported by the test process itself can answer too. On the test's own connection, or on
    // one of the given name.
    QDBusMessage call(const QDBusMessage& message, const QString& connectionName = {}) const;
    // The value as a sibling's answer brings it: sent in a variant from another connection to
    // the test's own and answered from there, so that Qt marshals and demarshals it twice
    // (containers it has no plain type for arrive as QDBusArgument).
    QVariant echo(const QVariant& value) const;
    // Calls process on the service and returns the reply with bus containers unpacked; an
    // empty map and the bus error's name in *error when the call fails.
    QVariantMap process(const QVariantMap& request, QString* error = nullptr) const;
    // The service's status, every property unpacked; empty when the call fails.
    QVariantMap status() const;
    // One sibling's entry of a status list ("Siblings" or "Lanes").
    QVariantMap statusOf(const QString& property, const QString& sibling) const;
    // From now on each PropertiesChanged of the status joins statusChanges, as its changed map.
    bool watchStatus();
    QList<QVariantMap> statusChanges;

    // Sends a request without waiting: its label joins completed when the reply comes, and
    // the reply, or {"error": name}, goes to replies. -1 waits as long as a bus client does by
    // default.
    void send(const QString& label, const QVariantMap& request, int timeoutMs = 30000);
    void clearSent();
    int sent() const { return m_sent; }
    QStringList completed;
    QMap<QString, QVariantMap> replies;

    // A device command as the front panel sends it.
    static QVariantMap command(int subCommand, const QVariantList& args = {});
    static QDBusMessage processCall(const QVariantMap& request);
    static QString busNameOf(const QString& sibling)
    {
        return siblingBusNames.value(siblings.indexOf(sibling));
    }
    static QString readinessNameOf(const QString& sibling)
    {
        return siblingReadinessNames.value(siblings.indexOf(sibling));
    }

    static const QString serviceName;
    // The siblings' names, and in the same order their bus names and the names they announce
    // readiness under, as the project's table of the siblings gives them.
    static const QStringList siblings;
    static const QStringList siblingBusNames;
    static const QStringList siblingReadinessNames;

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed);

private:
    QTemporaryDir m_root;
    ServiceProcess* m_daemon = nullptr;
    QString m_address;
    // The name of the test's own connection.
    QString m_id;
    QMap<QString, ServiceProcess*> m_siblings;
    int m_sent = 0;
};
