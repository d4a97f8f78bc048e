// The sibling link of the device-library stand-ins: the conversion of arguments, and against a
// real simulator process on a private bus the failures the service cannot provoke (a reply of
// another type, a method the sibling lacks; a hung sibling is the stop test's).
#include "LogCapture.h"
#include "SiblingLink.h"
#include "TestBus.h"

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

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"
