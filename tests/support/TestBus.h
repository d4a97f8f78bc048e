#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

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
    QDBusConnection connection() const;
    QString watcherDirectory() const;
    QString stateDirectory() const;

    // Writes the command table the service will read (the default table until told otherwise).
    void setCommandTable(const QByteArray& contents) const;
    void removeCommandTable() const;

    // The real service binary. It waits for the siblings' readiness before it registers on
    // the bus: start the simulators or call markSiblingsReady() first.
    ServiceProcess* startService(const QStringList& arguments = {});
    // One sibling of the simulator: print-manager, document-manager, configuration-manager or
    // speech.
    ServiceProcess* startSibling(const QString& sibling);
    void markSiblingsReady(bool ready = true) const;

    bool waitForReady(const QString& name, int timeoutMs = 15000) const;
    bool waitForBusName(const QString& name, int timeoutMs = 15000) const;

    // Calls process on the service and returns the reply with bus containers unpacked; an
    // empty map and the bus error's name in *error when the call fails.
    QVariantMap process(const QVariantMap& request, QString* error = nullptr) const;

    static const QStringList siblingReadinessNames;

private:
    void stopAll();

    QTemporaryDir m_root;
    ServiceProcess* m_daemon = nullptr;
    QString m_address;
    QString m_connectionName;
};
