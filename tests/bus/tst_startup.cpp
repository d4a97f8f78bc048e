// The real service binary's start-up on a private bus: the readiness hand-shake with the
// siblings, and a standard input that has ended.
#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "TestBus.h"
#include "ls/Enums.h"

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString serviceName = QStringLiteral("com.vellorn.CommandHandler");
const QString readinessName = QStringLiteral("command-handler");

// User plus system CPU time of a process, in seconds; negative when it cannot be read.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray text = stat.readAll();
    // The command name may hold blanks; the fields are counted from the state after it.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return -1;
    }
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

// Everything the service has written so far, including what still sits in the pipe.
QString writtenSoFar(ServiceProcess* service)
{
    while (service->waitForReadyRead(0)) {
    }
    return service->output();
}

QVariantMap categoriesRequest()
{
    return {{ls::commandIdKey, ls::CommandHandlerCmdId::GetCommandCategories},
            {ls::senderIdKey, ls::ServiceId::FrontPanel}};
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT
private slots:
    void endedStandardInputCostsNothing_data();
    void endedStandardInputCostsNothing();
    void waitsForEverySiblingThenAnnouncesReady();
    void readinessWaitsForTheTableLoad();
};

void StartupTest::endedStandardInputCostsNothing_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("closed pipe") << "pipe";
    QTest::newRow("/dev/null") << "null";
    QTest::newRow("file with a line") << "file";
}

void StartupTest::endedStandardInputCostsNothing()
{
    QFETCH(QString, input);

    TestBus bus;
    QVERIFY(bus.start());
    bus.markSiblingsReady();
    QTemporaryFile typed;
    QVERIFY(typed.open());
    typed.write("HELP C\n");
    typed.flush();

    auto* service = new ServiceProcess(&bus);
    if (input == "null") {
        service->setStandardInputFile(QProcess::nullDevice());
    } else if (input == "file") {
        service->setStandardInputFile(typed.fileName());
    }
    service->start(QStringLiteral(COMMAND_HANDLER_BINARY), QStringList());
    QVERIFY(service->waitForStarted(5000));
    if (input == "pipe") {
        service->closeWriteChannel();
    }
    QVERIFY(bus.waitForBusName(serviceName));
    QVERIFY(bus.waitForReady(readinessName));
    if (input == "file") {
        QVERIFY(service->waitForOutput("Commands - Main menu"));
    }

    const double before = cpuSeconds(service->processId());
    QVERIFY(before >= 0);
    QElapsedTimer span;
    span.start();
    int answered = 0;
    while (span.elapsed() < 2000) {
        QString error;
        const QVariantMap reply = bus.process(categoriesRequest(), &error);
        QCOMPARE(error, QString());
        QCOMPARE(reply.value(ls::resultIdKey).toString(), ls::ResultId::Success);
        ++answered;
        static_cast<void>(QTest::qWaitFor([&] { return span.elapsed() >= answered * 200; }));
    }
    const double used = cpuSeconds(service->processId()) - before;
    QVERIFY2(used < 0.5, qPrintable(QStringLiteral("%1 s of CPU in 2 s").arg(used)));
    QCOMPARE(service->state(), QProcess::Running);
}

void StartupTest::waitsForEverySiblingThenAnnouncesReady()
{
    TestBus bus;
    QVERIFY(bus.start());
    bus.removeCommandTable();
    // A stale announcement from an earlier run: the service withdraws it before anything else.
    ServiceWatcher::setReady(readinessName, true);
    QStringList early = TestBus::siblingReadinessNames;
    const QString last = early.takeLast();
    for (const QString& name : early) {
        ServiceWatcher::setReady(name, true);
    }

    ServiceProcess* service = bus.startService();
    QTRY_VERIFY(!ServiceWatcher::isReady(readinessName));
    QVERIFY(!bus.waitForBusName(serviceName, 1000));
    QVERIFY(!ServiceWatcher::isReady(readinessName));
    QCOMPARE(service->state(), QProcess::Running);

    ServiceWatcher::setReady(last, true);
    QVERIFY(bus.waitForReady(readinessName));
    // Both must already have happened when readiness shows.
    QVERIFY(bus.connection().interface()->isServiceRegistered(serviceName).value());
    const QString tableError =
        QStringLiteral("CommandHandler::initialize ERROR: reading \"%1/commandTable.json\" failed!")
            .arg(bus.stateDirectory());
    QVERIFY2(writtenSoFar(service).contains(tableError), qPrintable(service->output()));
}

void StartupTest::readinessWaitsForTheTableLoad()
{
    TestBus bus;
    QVERIFY(bus.start());
    // A table that is a pipe holds the load until the test writes to it.
    const QByteArray table = QFile::encodeName(bus.stateDirectory() + "/commandTable.json");
    bus.removeCommandTable();
    QCOMPARE(::mkfifo(table.constData(), 0600), 0);
    bus.markSiblingsReady();

    ServiceProcess* service = bus.startService();
    QVERIFY(bus.waitForBusName(serviceName));
    QVERIFY(!bus.waitForReady(readinessName, 500));

    const int writer = ::open(table.constData(), O_WRONLY | O_NONBLOCK);
    QVERIFY2(writer >= 0, "the service is not reading the table");
    QCOMPARE(::write(writer, "not json", 8), ssize_t(8));
    ::close(writer);
    QVERIFY(bus.waitForReady(readinessName));
    QVERIFY2(writtenSoFar(service).contains("CommandHandler::initialize ERROR: reading"),
             qPrintable(service->output()));
}

QTEST_GUILESS_MAIN(StartupTest)
#include "tst_startup.moc"
