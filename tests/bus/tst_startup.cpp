// The real service binary's start-up on a private bus: the readiness hand-shake with the
// siblings and the table load, and a standard input that has ended.
#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "TestBus.h"
#include "ls/Keys.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString serviceName = QStringLiteral("com.vellorn.CommandHandler");
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

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void endedStandardInputCostsNothing();
    void waitsForEverySiblingAndTheTableThenAnnouncesReady();
};

void StartupTest::endedStandardInputCostsNothing()
{
    TestBus bus;
    QVERIFY(bus.start());
    bus.markSiblingsReady();
    ServiceProcess* service = bus.startService();
    service->write("HELP C\n");
    service->closeWriteChannel();
    QVERIFY(bus.waitForReady(readinessName));
    QVERIFY(service->waitForOutput("Commands - Main menu"));

    const double before = cpuSeconds(service->processId());
    QElapsedTimer span;
    span.start();
    for (int answered = 1; span.elapsed() < 2000; ++answered) {
        QCOMPARE(bus.process({{ls::commandIdKey, "GetCommandCategories"},
                              {ls::senderIdKey, "FrontPanel"}})
                     .value(ls::resultIdKey),
                 QVariant("Success"));
        static_cast<void>(QTest::qWaitFor([&] { return span.elapsed() >= answered * 200; }));
    }
    const double used = cpuSeconds(service->processId()) - before;
    QVERIFY2(used < 0.5, qPrintable(QStringLiteral("%1 s of CPU in 2 s").arg(used)));
    QCOMPARE(service->state(), QProcess::Running);
}

void StartupTest::waitsForEverySiblingAndTheTableThenAnnouncesReady()
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

    bus.startService();
    QTRY_VERIFY(!ServiceWatcher::isReady(readinessName));
    QVERIFY(!bus.waitForBusName(serviceName, 1000));

    ServiceWatcher::setReady(last, true);
    int writer = -1;
    // Opens once the service has opened the table for reading.
    QVERIFY(QTest::qWaitFor([&] {
        writer = ::open(table.constData(), O_WRONLY | O_NONBLOCK);
        return writer >= 0;
    }));
    QVERIFY(!ServiceWatcher::isReady(readinessName));
    QCOMPARE(::write(writer, "not json", 8), ssize_t(8));
    ::close(writer);
    QVERIFY(bus.waitForReady(readinessName));
    // The name must already be held when readiness shows.
    QVERIFY(bus.connection().interface()->isServiceRegistered(serviceName).value());
}

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
