// The real service binary's life on a private bus: the readiness hand-shake with the siblings
// and the table load, the watchdog, how it stops and fails as systemd and its dependants see it,
// a second instance, and help and version.
#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "TestBus.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString readinessName = QStringLiteral("command-handler");

// User plus system CPU time of a process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    stat.open(QIODevice::ReadOnly);
    const QByteArray text = stat.readAll();
    // The command name may hold blanks; the fields are counted from the state after it.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ::sysconf(_SC_CLK_TCK);
}

// The message pattern of the installed unit, as systemd hands it to the service.
QByteArray unitMessagePattern()
{
    QFile unit(QStringLiteral(UNIT_FILE));
    unit.open(QIODevice::ReadOnly);
    static const QRegularExpression setting(
        QStringLiteral("^Environment=\"QT_MESSAGE_PATTERN=(.*)\"$"),
        QRegularExpression::MultilineOption);
    return setting.match(QString::fromUtf8(unit.readAll()))
        .captured(1)
        .replace(QStringLiteral("%%"), QStringLiteral("%"))
        .toUtf8();
}

// A notification socket as systemd opens it for a unit with a watchdog.
int openNotifySocket(const QTemporaryDir& directory)
{
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, qPrintable(directory.filePath("notify")), sizeof address.sun_path);
    ::bind(notify, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    qputenv("NOTIFY_SOCKET", address.sun_path);
    qputenv("WATCHDOG_USEC", "400000");
    return notify;
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void waitsForEverySiblingWithoutSpinningThenTheTable();
    void leavesNoReadinessBehind_data();
    void leavesNoReadinessBehind();
    void secondInstanceLeavesTheFirstsReadinessAlone();
    void helpAndVersionLeaveTheRegistryAlone_data();
    void helpAndVersionLeaveTheRegistryAlone();
};

void StartupTest::waitsForEverySiblingWithoutSpinningThenTheTable()
{
    TestBus bus;
    QVERIFY(bus.start());
    // A table that is a pipe holds the load until the test writes to it.
    const QByteArray table = QFile::encodeName(bus.stateDirectory() + "/commandTable.json");
    bus.removeCommandTable();
    QCOMPARE(::mkfifo(table.constData(), 0600), 0);
    // A stale announcement from an earlier run: the service withdraws it before anything else.
    ServiceWatcher::setReady(readinessName, true);
    bus.markSiblingsReady();
    const QString last = TestBus::siblingReadinessNames.last();
    ServiceWatcher::setReady(last, false);
    QTemporaryDir notifyDirectory;
    const int notify = openNotifySocket(notifyDirectory);
    ServiceProcess* service = bus.startService();
    qunsetenv("NOTIFY_SOCKET");
    qunsetenv("WATCHDOG_USEC");

    QVERIFY2(service->waitForOutput(QStringLiteral("Waiting for sibling services: %1").arg(last)),
             qPrintable(service->output()));
    QVERIFY(!ServiceWatcher::isReady(readinessName));
    // The gate's CPU while a sibling is missing, against 5 % of a core.
    const double before = cpuSeconds(service->processId());
    QVERIFY(!bus.waitForBusName(TestBus::serviceName, 2000));
    const double used = cpuSeconds(service->processId()) - before;
    QVERIFY2(used < 0.1, qPrintable(QStringLiteral("%1 s of CPU in 2 s").arg(used)));

    ServiceWatcher::setReady(last, true);
    int writer = -1;
    // Opens once the service has opened the table for reading.
    QVERIFY(QTest::qWaitFor([&] {
        writer = ::open(table.constData(), O_WRONLY | O_NONBLOCK);
        return writer >= 0;
    }));
    QVERIFY(service->waitForOutput(QStringLiteral("Sibling service ready: %1").arg(last)));
    QVERIFY(!ServiceWatcher::isReady(readinessName));
    const QByteArray contents = TestBus::defaultCommandTable();
    QCOMPARE(::write(writer, contents.constData(), size_t(contents.size())),
             ssize_t(contents.size()));
    ::close(writer);
    QVERIFY(bus.waitForReady(readinessName));
    // The name must already be held when readiness shows.
    QVERIFY(bus.connection().interface()->isServiceRegistered(TestBus::serviceName).value());
    // Fed at half the time-out, over and over.
    int fed = 0;
    QTRY_VERIFY2_WITH_TIMEOUT(
        [&] {
            char message[64];
            for (ssize_t size; (size = ::recv(notify, message, sizeof message, 0)) > 0;) {
                fed += QByteArray(message, int(size)) == "WATCHDOG=1" ? 1 : 0;
            }
            return fed >= 3;
        }(),
        qPrintable(service->output()), 10000);
    ::close(notify);
}

void StartupTest::leavesNoReadinessBehind_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<bool>("busReachable");
    // Done to the serving service: "SIGTERM", or "kill bus" to take the bus daemon away.
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("exitCode");
    // Lines as the journal gets them: <3> error, <6> info, <7> debug.
    QTest::addColumn<QStringList>("lines");

    const QByteArray table = TestBus::defaultCommandTable();
    const QString registered =
        QStringLiteral("<7>Successfully registered on DBus: \"%1\"").arg(TestBus::serviceName);
    const QString readFailed = QStringLiteral("<3>CommandHandler::initialize ERROR: reading");
    QTest::newRow("SIGTERM") << table << true << "SIGTERM" << 0
                             << QStringList{registered, "<6>Stopping on signal 15"};
    QTest::newRow("bus daemon killed") << table << true << "kill bus" << 1
                                       << QStringList{"<3>Lost the connection to the system bus!"};
    QTest::newRow("bus unreachable")
        << table << false << QString() << 1 << QStringList{"<3>Unable to connect to system-bus!"};
    QTest::newRow("table missing")
        << QByteArray() << true << QString() << 1 << QStringList{registered, readFailed};
    QTest::newRow("table not json")
        << QByteArray("{\"FeedLines\": {") << true << QString() << 1 << QStringList{readFailed};
    QTest::newRow("table not an object")
        << QByteArray("[1, 2, 3]") << true << QString() << 1 << QStringList{readFailed};
}

void StartupTest::leavesNoReadinessBehind()
{
    QFETCH(QByteArray, table);
    QFETCH(bool, busReachable);
    QFETCH(QString, action);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);

    TestBus bus;
    QVERIFY(bus.start());
    bus.markSiblingsReady();
    bus.setCommandTable(table);
    if (table.isEmpty()) {
        bus.removeCommandTable();
    }
    // Left by an earlier run that died: withdrawn before anything else.
    ServiceWatcher::setReady(readinessName, true);
    qputenv("QT_MESSAGE_PATTERN", unitMessagePattern());
    if (!busReachable) {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(bus.stateDirectory()) + "/none");
    }
    ServiceProcess* service = bus.startService();
    qunsetenv("QT_MESSAGE_PATTERN");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());

    if (!action.isEmpty()) {
        // The stale announcement is gone before the name is taken.
        QVERIFY(bus.waitForBusName(TestBus::serviceName));
        QVERIFY(bus.waitForReady(readinessName));
        if (action == QLatin1String("SIGTERM")) {
            service->terminate();
        } else {
            bus.daemon()->kill();
        }
    }
    QVERIFY(service->waitForFinished(10000));
    const QString output = service->output();
    QCOMPARE(service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(service->exitCode(), exitCode);
    QVERIFY(!ServiceWatcher::isReady(readinessName));
    for (const QString& line : lines) {
        const QRegularExpression start('^' + QRegularExpression::escape(line),
                                       QRegularExpression::MultilineOption);
        QVERIFY2(output.contains(start), qPrintable(output));
    }
}

void StartupTest::secondInstanceLeavesTheFirstsReadinessAlone()
{
    TestBus bus;
    QVERIFY(bus.start());
    bus.markSiblingsReady();
    // Unknown arguments are ignored.
    bus.startService({QStringLiteral("--unknown-argument"), QStringLiteral("x")});
    QVERIFY(bus.waitForBusName(TestBus::serviceName));
    QVERIFY(bus.waitForReady(readinessName));
    // The running service's readiness holds at every check while the second one starts and
    // ends.
    bool alwaysReady = true;
    ServiceProcess* second = bus.startService();
    QVERIFY2(QTest::qWaitFor([&] {
                 alwaysReady = alwaysReady && ServiceWatcher::isReady(readinessName);
                 return second->output().contains(
                     "Unable to register Service: Service-name already in use.");
             }),
             qPrintable(second->output()));
    // Still alive for its console, and the first instance still owns the name and answers.
    QVERIFY(!second->waitForFinished(300));
    QVERIFY(!bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "Speech"}})
                 .value("commandCategories")
                 .toList()
                 .isEmpty());
    second->terminate();
    QVERIFY(QTest::qWaitFor([&] {
        alwaysReady = alwaysReady && ServiceWatcher::isReady(readinessName);
        return second->state() == QProcess::NotRunning;
    }));
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(alwaysReady);
}

void StartupTest::helpAndVersionLeaveTheRegistryAlone_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("answer");
    for (const char* help : {"-h", "--help", "--help-all", "-?"}) {
        QTest::newRow(help) << QStringList{help} << "Usage:";
    }
    for (const char* version : {"-v", "--version"}) {
        QTest::newRow(version) << QStringList{version}
                               << "command-handler " COMMAND_HANDLER_VERSION;
    }
    QTest::newRow("among unknown ones") << QStringList{"--unknown", "x", "--help-all"} << "Usage:";
}

void StartupTest::helpAndVersionLeaveTheRegistryAlone()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, answer);
    QTemporaryDir watcher;
    qputenv("SERVICE_WATCHER_DIR", QFile::encodeName(watcher.path()));
    ServiceWatcher::setReady(readinessName, true);
    ServiceProcess service;
    service.start(QStringLiteral(COMMAND_HANDLER_BINARY), arguments);
    QVERIFY(service.waitForFinished(10000));
    QCOMPARE(service.exitCode(), 0);
    QVERIFY2(service.output().contains(answer), qPrintable(service.output()));
    QVERIFY(ServiceWatcher::isReady(readinessName));
}

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
