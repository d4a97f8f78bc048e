// The device-library stand-ins on a private bus. The sibling link against real simulator
// processes: the conversion of arguments, the failures the service cannot provoke (a reply of
// another type, a method the sibling lacks; a hung sibling is the stop test's), and a restart
// seen by a link that also polls. And readiness names that would leave the registry directory.
#include "LogCapture.h"
#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "SiblingLink.h"
#include "TestBus.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>

class PlatformTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void conversion_data();
    void conversion();
    void failedCallLogsOnce_data();
    void failedCallLogsOnce();
    void pollingLinkReportsEachChangeOnce();
    void readinessNamesOutsideTheDirectoryAreRefused();

private:
    TestBus m_bus;
};

void PlatformTest::initTestCase()
{
    QVERIFY(m_bus.start() && m_bus.startSiblings());
}

void PlatformTest::failedCallLogsOnce_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("replySignature");
    QTest::addColumn<QString>("cause");
    QTest::newRow("reply of another type") << "state"
                                           << "i"
                                           << "unexpected reply signature \"a{sv}\"";
    QTest::newRow("no such method") << "sing" << QString() << "UnknownMethod";
}

void PlatformTest::failedCallLogsOnce()
{
    QFETCH(QString, method);
    QFETCH(QString, replySignature);
    QFETCH(QString, cause);
    SiblingLink link(QStringLiteral("com.vellorn.Speech"));
    LogCapture log;
    QVERIFY(!link.call(method, replySignature, {}, {}).isValid());
    // One error line, and the same failure reported to the caller.
    QVERIFY2(link.lastFailure().startsWith("com.vellorn.Speech." + method + " failed: ") &&
                 link.lastFailure().contains(cause),
             qPrintable(link.lastFailure()));
    QCOMPARE(log.messages(QtCriticalMsg), {"SiblingLink::call ERROR: " + link.lastFailure()});
    QCOMPARE(log.messages(QtWarningMsg), QStringList());
}

// A link that also polls the sibling's owner reports each change once.
void PlatformTest::pollingLinkReportsEachChangeOnce()
{
    SiblingLink polling(QStringLiteral("com.vellorn.PrintManager"));
    polling.setCheckInterval(20);
    polling.setCheckConnection(true);
    QSignalSpy connected(&polling, &SiblingLink::connected);
    QSignalSpy disconnected(&polling, &SiblingLink::disconnected);
    // The sibling is already there: the link comes up once the bus has said so.
    QTRY_COMPARE(connected.count(), 1);
    m_bus.sibling("print-manager")->stop();
    QTRY_COMPARE(disconnected.count(), 1);
    m_bus.startSibling("print-manager");
    QVERIFY(m_bus.waitForReady("print-manager"));
    QTRY_COMPARE(connected.count(), 2);
    QCOMPARE(disconnected.count(), 1);
}

// Requests reach the clients from the bus, from JSON and from the operator console, so the
// same argument arrives as a number, a double or a text; the sibling needs its exact bus type.
void PlatformTest::conversion_data()
{
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("types");
    QTest::addColumn<QVariantList>("expected"); // empty: refused

    const QVariantList refused;
    const auto row = [](const char* name, const QVariantList& arguments, const char* types,
                        const QVariantList& expected) {
        QTest::newRow(name) << arguments << types << expected;
    };
    row("int from fraction", {2.5}, "i", refused);
    row("int out of range", {qlonglong(1) << 40}, "i", refused);
    row("bool from text", {"TRUE"}, "b", {true});
    row("bool from digit text", {"0"}, "b", {false});
    row("bool from other text", {"yes"}, "b", refused);
    row("bool from 2", {2}, "b", refused);
    row("bool from whole double", {1.0}, "b", {true});
    row("text from list", {QVariant(QVariantList{1})}, "s", refused);
    row("two texts", {"Speech/rate", 60}, "ss", {"Speech/rate", "60"});
    row("count differs", {}, "i", refused);
}

void PlatformTest::conversion()
{
    QFETCH(QVariantList, arguments);
    QFETCH(QString, types);
    QFETCH(QVariantList, expected);

    QString problem;
    const std::optional<QVariantList> converted =
        SiblingLink::toBusArguments(arguments, types, &problem);
    if (expected.isEmpty()) {
        QVERIFY(!converted);
        QVERIFY(!problem.isEmpty());
        return;
    }
    QVERIFY2(converted, qPrintable(problem));
    QCOMPARE(*converted, expected);
    // QVariant compares 42 and "42" equal; the bus does not.
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(QMetaType::typeName(converted->at(i).userType()),
                 QMetaType::typeName(expected.at(i).userType()));
    }
}

void PlatformTest::readinessNamesOutsideTheDirectoryAreRefused()
{
    const QString directory = m_bus.stateDirectory() + QStringLiteral("/names/inner");
    qputenv("SERVICE_WATCHER_DIR", directory.toUtf8());
    for (const char* name : {"a/b", "..", ".hidden", ""}) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refusing")));
        ServiceWatcher::setReady(QString::fromLatin1(name), true);
    }
    qputenv("SERVICE_WATCHER_DIR", m_bus.watcherDirectory().toUtf8());
    for (const QString& path : {directory, QFileInfo(directory).path()}) {
        QCOMPARE(QDir(path).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
}

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"
