// The device-library stand-ins: the sibling link's conversion of arguments, how it follows its
// sibling's bus name, and against a real simulator process on a private bus the failures the
// service cannot provoke (a reply of another type, a method the sibling lacks; a hung sibling
// is the stop test's); and the unpacking of values as a sibling's answer brings them.
#include "LogCapture.h"
#include "ServiceWatcher.h"
#include "SiblingLink.h"
#include "TestBus.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QtTest>

namespace {
template <typename Fill> QVariant marshalled(Fill fill)
{
    QDBusArgument argument;
    fill(argument);
    return QVariant::fromValue(argument);
}

template <typename Key> void entry(QDBusArgument& map, const Key& key, const QVariant& value)
{
    map.beginMapEntry();
    map << key << QDBusVariant(value);
    map.endMapEntry();
}
} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void conversion_data();
    void conversion();
    void failedCallLogsOnce_data();
    void failedCallLogsOnce();
    void followsTheOwnerOfItsName();
    void unpacksWhatASiblingSends_data();
    void unpacksWhatASiblingSends();
    void readinessNames_data();
    void readinessNames();

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

// Connected while the name has an owner; a new owner that takes the name over directly is a
// new sibling process all the same, so the link goes down and up again.
void PlatformTest::followsTheOwnerOfItsName()
{
    const QString name = QStringLiteral("com.vellorn.Stand.In");
    SiblingLink link(name);
    QSignalSpy connected(&link, &SiblingLink::connected);
    QSignalSpy disconnected(&link, &SiblingLink::disconnected);
    QDBusConnection first = QDBusConnection::connectToBus(m_bus.address(), "first-owner");
    QDBusConnection second = QDBusConnection::connectToBus(m_bus.address(), "second-owner");
    using Bus = QDBusConnectionInterface;
    QVERIFY(first.interface()->registerService(name, Bus::DontQueueService, Bus::AllowReplacement));
    QTRY_VERIFY(link.isConnected());
    QCOMPARE(connected.count(), 1);
    SiblingLink later(name);
    QTRY_VERIFY(later.isConnected());
    QVERIFY(second.interface()->registerService(name, Bus::ReplaceExistingService));
    QTRY_COMPARE(connected.count(), 2);
    QCOMPARE(disconnected.count(), 1);
    QVERIFY(second.interface()->unregisterService(name));
    QTRY_COMPARE(disconnected.count(), 2);
    QVERIFY(!link.isConnected());
}

void PlatformTest::unpacksWhatASiblingSends_data()
{
    QTest::addColumn<QVariant>("sent");
    QTest::addColumn<QVariant>("unpacked");
    QTest::newRow("dictionary of numbers") << marshalled([](QDBusArgument& map) {
        map.beginMap(QMetaType::Int, qMetaTypeId<QDBusVariant>());
        entry(map, 1, "one");
        entry(map, 2, 2);
        map.endMap();
    }) << QVariant(QVariantMap{{"1", "one"}, {"2", 2}});
    QTest::newRow("structure") << marshalled([](QDBusArgument& structure) {
        structure.beginStructure();
        structure << 1 << QStringLiteral("x") << QDBusObjectPath("/p");
        structure.endStructure();
    }) << QVariant(QVariantList{1, "x", "/p"});
    QTest::newRow("a key sent twice, the last one counts") << marshalled([](QDBusArgument& map) {
        map.beginMap(QMetaType::QString, qMetaTypeId<QDBusVariant>());
        entry(map, QStringLiteral("k"), 1);
        entry(map, QStringLiteral("k"), 2);
        map.endMap();
    }) << QVariant(QVariantMap{{"k", 2}});
}

void PlatformTest::unpacksWhatASiblingSends()
{
    QFETCH(QVariant, sent);
    QFETCH(QVariant, unpacked);
    const QVariant received = m_bus.echo(sent);
    QCOMPARE(libpivra::dbusValueUnpack(received), unpacked);
    // A dictionary of variants also as the service's request arrives: in a multi-map.
    if (received.value<QDBusArgument>().currentSignature() == "a{sv}") {
        const QVariantMap request = qdbus_cast<QVariantMap>(received);
        QCOMPARE(QVariant(libpivra::dbusArgumentUnpack(request)), unpacked);
    }
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
    row("bool from digit text", {"0"}, "b", {false});
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
void PlatformTest::readinessNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "speechd" << true;
    // A name is a file of the registry's directory and nothing else.
    QTest::newRow("path out of the directory") << "../escape" << false;
    QTest::newRow("hidden") << ".hidden" << false;
    QTest::newRow("empty") << "" << false;
}

// Only a valid name is ever announced, and never where the directory cannot be made.
void PlatformTest::readinessNames()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(ServiceWatcher::setReady(name, true), valid);
    QCOMPARE(ServiceWatcher::isReady(name), valid);
    QVERIFY(ServiceWatcher::setReady(name, false) == valid && !ServiceWatcher::isReady(name));
    const QByteArray directory = qgetenv("SERVICE_WATCHER_DIR");
    qputenv("SERVICE_WATCHER_DIR", "/dev/null/ready");
    const bool announced = ServiceWatcher::setReady(name, true);
    qputenv("SERVICE_WATCHER_DIR", directory);
    QVERIFY(!announced);
}

#include "tst_platform.moc"
