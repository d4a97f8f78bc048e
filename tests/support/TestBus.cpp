#include "TestBus.h"
#include "TestTools.h"

#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "Siblings.h"
#include "StatusKeys.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTest>
#include <QUuid>

const QString TestBus::serviceName = QStringLiteral("com.vellorn.CommandHandler");
namespace {
QStringList fieldOfEachSibling(QString Sibling::*field)
{
    QStringList values;
    for (const Sibling& sibling : siblings::all()) {
        values << sibling.*field;
    }
    return values;
}

// Answers every call with its arguments as they arrived.
class Echo : public QDBusVirtualObject
{
public:
    using QDBusVirtualObject::QDBusVirtualObject;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        return connection.send(message.createReply(message.arguments()));
    }
};

const QString echoPath = QStringLiteral("/echo");
} // namespace

const QStringList TestBus::siblings = fieldOfEachSibling(&Sibling::name);
const QStringList TestBus::siblingBusNames = fieldOfEachSibling(&Sibling::busName);
const QStringList TestBus::siblingReadinessNames = fieldOfEachSibling(&Sibling::readinessName);

TestBus::TestBus(QObject* parent)
    : QObject(parent), m_id("test-bus-" + QUuid::createUuid().toString())
{
}

TestBus::~TestBus()
{
    QDBusConnection::disconnectFromBus(m_id);
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
    setCommandTable(defaultCommandTable());

    m_daemon = new ServiceProcess(this);
    m_daemon->setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=" BUS_CONFIG_FILE),
                     QStringLiteral("--print-address"), QStringLiteral("--nofork")});
    // The address is printed once the bus listens.
    if (!m_daemon->waitForOutput(QStringLiteral("\n"))) {
        return false;
    }
    m_address = m_daemon->output().trimmed();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
    qputenv("SERVICE_WATCHER_DIR", watcherDirectory().toUtf8());
    qputenv("STATE_DIRECTORY", stateDirectory().toUtf8());
    return connection().isConnected();
}

void TestBus::setCommandTable(const QByteArray& contents) const
{
    // Replaced rather than opened: the old one may be a pipe without a reader.
    removeCommandTable();
    writeFile(QDir(stateDirectory()).filePath(QStringLiteral("commandTable.json")), contents);
}

void TestBus::removeCommandTable() const
{
    QFile::remove(QDir(stateDirectory()).filePath(QStringLiteral("commandTable.json")));
}

QByteArray TestBus::defaultCommandTable()
{
    return readFile(QStringLiteral(DEFAULT_COMMAND_TABLE));
}

QJsonObject
TestBus::defaultTableWith(const QVector<std::tuple<QString, QString, QJsonValue>>& changes)
{
    QJsonObject table = QJsonDocument::fromJson(defaultCommandTable()).object();
    for (const auto& [entry, field, value] : changes) {
        QJsonObject changed = table.value(entry).toObject();
        changed.insert(field, value);
        table.insert(entry, changed);
    }
    return table;
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
    m_siblings.insert(sibling, process);
    return process;
}

bool TestBus::startSiblings()
{
    for (const QString& name : siblings) {
        startSibling(name);
    }
    return std::all_of(siblings.cbegin(), siblings.cend(),
                       [this](const QString& name) { return waitForReady(readinessNameOf(name)); });
}

bool TestBus::waitForReady(const QString& name, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return ServiceWatcher::isReady(name); }, timeoutMs);
}

bool TestBus::waitForBusName(const QString& name, int timeoutMs) const
{
    const QDBusConnection bus = connection();
    return QTest::qWaitFor([&] { return bus.interface()->isServiceRegistered(name).value(); },
                           timeoutMs);
}

QDBusMessage TestBus::call(const QDBusMessage& message, const QString& connectionName) const
{
    QDBusPendingCall pending =
        (connectionName.isEmpty() ? connection()
                                  : QDBusConnection::connectToBus(m_address, connectionName))
            .asyncCall(message, 10000);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 12000)) {
        return message.createErrorReply(QStringLiteral("timeout"), QString());
    }
    return pending.reply();
}

QVariant TestBus::echo(const QVariant& value) const
{
    QDBusConnection own = connection();
    if (own.objectRegisteredAt(echoPath) == nullptr) {
        own.registerVirtualObject(echoPath, new Echo(const_cast<TestBus*>(this)));
    }
    const QDBusMessage reply =
        call(QDBusMessage::createMethodCall(own.baseService(), echoPath, QString(), "echo")
                 << QVariant::fromValue(QDBusVariant(value)),
             QStringLiteral("echo-client"));
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QVariantMap TestBus::process(const QVariantMap& request, QString* error) const
{
    const QDBusMessage reply = call(processCall(request));
    if (error != nullptr) {
        *error = reply.errorName();
    }
    // An error's first argument is its text, which is no map.
    return libpivra::dbusValueUnpack(reply.arguments().value(0)).toMap();
}

QVariantMap TestBus::status() const
{
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        serviceName, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    return libpivra::dbusValueUnpack(call(getAll << status::interfaceName).arguments().value(0))
        .toMap();
}

QVariantMap TestBus::statusOf(const QString& property, const QString& sibling) const
{
    const QVariantList entries = status().value(property).toList();
    for (const QVariant& entry : entries) {
        if (entry.toMap().value(status::entry::name) == sibling) {
            return entry.toMap();
        }
    }
    return {};
}

bool TestBus::watchStatus()
{
    return connection().connect(
        serviceName, QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"), this, SLOT(onPropertiesChanged(QString, QVariantMap)));
}

void TestBus::onPropertiesChanged(const QString& interface, const QVariantMap& changed)
{
    if (interface == status::interfaceName) {
        statusChanges << libpivra::dbusArgumentUnpack(changed);
    }
}

void TestBus::send(const QString& label, const QVariantMap& request, int timeoutMs)
{
    auto* watcher =
        new QDBusPendingCallWatcher(connection().asyncCall(processCall(request), timeoutMs), this);
    ++m_sent;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, label, watcher] {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        completed.append(label);
        replies.insert(label, reply.arguments().isEmpty()
                                  ? QVariantMap{{QStringLiteral("error"), reply.errorName()}}
                                  : libpivra::dbusValueUnpack(reply.arguments().at(0)).toMap());
    });
}

void TestBus::clearSent()
{
    m_sent = 0;
    completed.clear();
    replies.clear();
}

QVariantMap TestBus::command(int subCommand, const QVariantList& args)
{
    QVariantMap request{{QStringLiteral("commandId"), QStringLiteral("HandleCommand")},
                        {QStringLiteral("senderId"), QStringLiteral("FrontPanel")},
                        {QStringLiteral("subCommandId"), subCommand}};
    if (!args.isEmpty()) {
        request.insert(QStringLiteral("args"), args);
    }
    return request;
}

QDBusMessage TestBus::processCall(const QVariantMap& request)
{
    return QDBusMessage::createMethodCall(serviceName, QStringLiteral("/"), serviceName,
                                          QStringLiteral("process"))
           << request;
}
