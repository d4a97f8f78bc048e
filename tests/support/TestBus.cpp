#include "TestBus.h"

#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QUuid>

const QStringList TestBus::siblingReadinessNames = {
    QStringLiteral("print-manager"), QStringLiteral("configuration-manager"),
    QStringLiteral("document-manager"), QStringLiteral("speechd")};

TestBus::TestBus(QObject* parent) : QObject(parent)
{
    m_connectionName = QStringLiteral("test-bus-%1").arg(QUuid::createUuid().toString());
}

TestBus::~TestBus()
{
    stopAll();
}

void TestBus::stopAll()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
    const auto processes = findChildren<ServiceProcess*>();
    for (ServiceProcess* process : processes) {
        if (process != m_daemon) {
            process->stop();
        }
    }
    if (m_daemon != nullptr) {
        m_daemon->stop();
    }
}

bool TestBus::start()
{
    if (!m_root.isValid()) {
        return false;
    }
    QDir(m_root.path()).mkpath(QStringLiteral("watcher"));
    QDir(m_root.path()).mkpath(QStringLiteral("state"));
    setCommandTable([] {
        QFile table(QStringLiteral(DEFAULT_COMMAND_TABLE));
        table.open(QIODevice::ReadOnly);
        return table.readAll();
    }());

    m_daemon = new ServiceProcess(this);
    m_daemon->setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=%1").arg(QStringLiteral(BUS_CONFIG_FILE)),
                     QStringLiteral("--print-address"), QStringLiteral("--nofork")});
    if (!m_daemon->waitForStarted(5000)) {
        return false;
    }
    QByteArray line;
    const bool printed = QTest::qWaitFor(
        [&] {
            m_daemon->waitForReadyRead(50);
            line += m_daemon->readAllStandardOutput();
            return line.contains('\n') || m_daemon->state() == QProcess::NotRunning;
        },
        10000);
    m_address = QString::fromUtf8(line).trimmed();
    if (!printed || m_address.isEmpty()) {
        return false;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
    qputenv("SERVICE_WATCHER_DIR", watcherDirectory().toUtf8());
    qputenv("STATE_DIRECTORY", stateDirectory().toUtf8());
    return connection().isConnected();
}

QDBusConnection TestBus::connection() const
{
    return QDBusConnection::connectToBus(m_address, m_connectionName);
}

QString TestBus::watcherDirectory() const
{
    return m_root.filePath(QStringLiteral("watcher"));
}

QString TestBus::stateDirectory() const
{
    return m_root.filePath(QStringLiteral("state"));
}

void TestBus::setCommandTable(const QByteArray& contents) const
{
    QFile table(QDir(stateDirectory()).filePath(QStringLiteral("commandTable.json")));
    if (table.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        table.write(contents);
    }
}

void TestBus::removeCommandTable() const
{
    QFile::remove(QDir(stateDirectory()).filePath(QStringLiteral("commandTable.json")));
}

void TestBus::markSiblingsReady(bool ready) const
{
    for (const QString& name : siblingReadinessNames) {
        ServiceWatcher::setReady(name, ready);
    }
}

ServiceProcess* TestBus::startService(const QStringList& arguments)
{
    auto* service = new ServiceProcess(this);
    service->start(QStringLiteral(COMMAND_HANDLER_BINARY), arguments);
    service->waitForStarted(5000);
    return service;
}

ServiceProcess* TestBus::startSibling(const QString& sibling)
{
    auto* process = new ServiceProcess(this);
    process->start(QStringLiteral(SIBLING_SIMULATOR_BINARY), {sibling});
    process->waitForStarted(5000);
    return process;
}

bool TestBus::waitForReady(const QString& name, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return ServiceWatcher::isReady(name); }, timeoutMs);
}

bool TestBus::waitForBusName(const QString& name, int timeoutMs) const
{
    const QDBusConnection bus = connection();
    return QTest::qWaitFor(
        [&] { return bus.interface()->isServiceRegistered(name).value(); }, timeoutMs);
}

QVariantMap TestBus::process(const QVariantMap& request, QString* error) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("com.vellorn.CommandHandler"), QStringLiteral("/"),
        QStringLiteral("com.vellorn.CommandHandler"), QStringLiteral("process"));
    call << request;
    // Waits with the event loop running, so a service exported by the test process itself
    // can answer too.
    QDBusPendingCall pending = connection().asyncCall(call, 10000);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 12000)) {
        if (error != nullptr) {
            *error = QStringLiteral("timeout");
        }
        return {};
    }
    const QDBusMessage reply = pending.reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (error != nullptr) {
            *error = reply.errorName();
        }
        return {};
    }
    return libpivra::dbusValueUnpack(reply.arguments().constFirst()).toMap();
}
