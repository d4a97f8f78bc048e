// The sibling link against real simulator processes on a private bus: the failures the service
// cannot provoke (a reply of another type, a method the sibling lacks, a hung sibling), and a
// restart seen by a client and by a link that also polls.
#include "LogCapture.h"
#include "PrintManager.h"
#include "ServiceProcess.h"
#include "SiblingLink.h"
#include "TestBus.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QtTest>

#include <csignal>

using libprintmanager::detail::PrintManager;

namespace {
// Far below the bus's own 25 s default, far above a healthy call.
constexpr qint64 failureBoundMs = 10000;
} // namespace

class tst_SiblingClients : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void failedCallLogsOnce_data();
    void failedCallLogsOnce();
    void siblingStopAndRestart();

private:
    // The simulator's own view, read past the client under test.
    QVariantMap state(const QString& sibling) const;
    ServiceProcess* startSibling(const QString& sibling);

    TestBus m_bus;
    QHash<QString, ServiceProcess*> m_processes;
};

void tst_SiblingClients::initTestCase()
{
    QVERIFY(m_bus.start());
    for (const char* sibling : {"print-manager", "speech"}) {
        QVERIFY2(startSibling(sibling) != nullptr, sibling);
    }
}

ServiceProcess* tst_SiblingClients::startSibling(const QString& sibling)
{
    ServiceProcess* process = m_bus.startSibling(sibling);
    m_processes.insert(sibling, process);
    const QString readiness = sibling == "speech" ? QStringLiteral("speechd") : sibling;
    return m_bus.waitForReady(readiness) ? process : nullptr;
}

QVariantMap tst_SiblingClients::state(const QString& sibling) const
{
    const QString service = "com.vellorn." + sibling;
    const QDBusMessage reply = m_bus.connection().call(
        QDBusMessage::createMethodCall(service, QStringLiteral("/"), service, "state"));
    return libpivra::dbusValueUnpack(reply.arguments().value(0)).toMap();
}

void tst_SiblingClients::failedCallLogsOnce_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("replySignature");
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("argumentTypes");
    QTest::addColumn<bool>("hung");
    QTest::addColumn<QString>("cause");
    QTest::newRow("reply of another type")
        << "state"
        << "i" << QVariantList{} << "" << false << "unexpected reply signature \"a{sv}\"";
    QTest::newRow("argument without int value")
        << "setRate"
        << "" << QVariantList{"fast"} << "i" << false << "argument 1";
    QTest::newRow("no such method") << "sing"
                                    << "" << QVariantList{} << "" << false << "UnknownMethod";
    QTest::newRow("hung sibling") << "stop"
                                  << "" << QVariantList{} << "" << true
                                  << "no answer within 2000 ms";
}

void tst_SiblingClients::failedCallLogsOnce()
{
    QFETCH(QString, method);
    QFETCH(QString, replySignature);
    QFETCH(QVariantList, arguments);
    QFETCH(QString, argumentTypes);
    QFETCH(bool, hung);
    QFETCH(QString, cause);

    SiblingLink link(QStringLiteral("com.vellorn.Speech"));
    const QVariantMap before = state("Speech");
    const auto pid = static_cast<pid_t>(m_processes.value("speech")->processId());
    // Without a running sibling, kill(0) would stop this whole process group.
    QVERIFY(pid > 0);
    // Signal 0 only probes the process.
    ::kill(pid, hung ? SIGSTOP : 0);
    LogCapture log;
    QElapsedTimer elapsed;
    elapsed.start();
    const QVariant answer = link.call(method, replySignature, arguments, argumentTypes);
    const qint64 took = elapsed.elapsed();
    ::kill(pid, hung ? SIGCONT : 0);

    QVERIFY(!answer.isValid());
    QVERIFY2(took < failureBoundMs, qPrintable(QString::number(took)));
    // One error line, and the same failure reported to the caller.
    QVERIFY2(link.lastFailure().startsWith("com.vellorn.Speech." + method + " failed: ") &&
                 link.lastFailure().contains(cause),
             qPrintable(link.lastFailure()));
    QCOMPARE(log.messages(QtCriticalMsg), {"SiblingLink::call ERROR: " + link.lastFailure()});
    QCOMPARE(log.messages(QtWarningMsg), QStringList());
    QCOMPARE(state("Speech"), before);
}

void tst_SiblingClients::siblingStopAndRestart()
{
    PrintManager client;
    QSignalSpy connected(&client, &PrintManager::connected);
    QSignalSpy disconnected(&client, &PrintManager::disconnected);
    // A link that also polls must not report a change twice.
    SiblingLink polling(QStringLiteral("com.vellorn.PrintManager"));
    polling.setCheckInterval(20);
    polling.setCheckConnection(true);
    QSignalSpy pollingConnected(&polling, &SiblingLink::connected);
    QSignalSpy pollingDisconnected(&polling, &SiblingLink::disconnected);
    // The sibling is already there: the link comes up once the bus has said so.
    QTRY_COMPARE(connected.count(), 1);
    QTRY_COMPARE(pollingConnected.count(), 1);

    m_processes.value("print-manager")->stop();
    QTRY_COMPARE(disconnected.count(), 1);
    {
        LogCapture log;
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(client.paperPosition(), 0);
        QCOMPARE(client.runTestCmd(601, 0), QVariantMap());
        client.feedLines({2});
        QVERIFY(elapsed.elapsed() < failureBoundMs);
        QCOMPARE(log.messages(QtCriticalMsg).size(), 3);
        QCOMPARE(client.lastCallFailure(),
                 QString("com.vellorn.PrintManager.feedLines failed: not on the bus"));
    }

    QVERIFY(startSibling("print-manager") != nullptr);
    QTRY_COMPARE(connected.count(), 2);
    QCOMPARE(disconnected.count(), 1);
    QCOMPARE(client.isPaperLoaded(), true);
    QCOMPARE(client.lastCallFailure(), QString());
    QTRY_COMPARE(pollingConnected.count(), 2);
    QCOMPARE(pollingDisconnected.count(), 1);
}

QTEST_GUILESS_MAIN(tst_SiblingClients)
#include "tst_SiblingClients.moc"
