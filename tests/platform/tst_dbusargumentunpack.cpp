// Unpacking of request maps as they really come off the bus: each value is sent over a private
// bus to an object of this test and unpacked from what Qt D-Bus delivered.
#include "TestBus.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QTest>

class Receiver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "test.Receiver")
public:
    QVariantMap received;
public slots:
    void take(const QVariantMap& request) { received = request; }
};

namespace {
// ((is)aii): the unpacking must leave each inner container before it reads on.
QVariant structures()
{
    QDBusArgument argument;
    argument.beginStructure();
    argument.beginStructure();
    argument << 7 << QStringLiteral("seven");
    argument.endStructure();
    argument << QList<int>{1, 2} << 8;
    argument.endStructure();
    return QVariant::fromValue(argument);
}
} // namespace

class DBusArgumentUnpackTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void unpacksWhatTheBusDelivered_data();
    void unpacksWhatTheBusDelivered();
    void repeatedKeyKeepsTheEntrySentLast();

private:
    // What the receiver got for the request map (or a marshalled a{sv}).
    QVariantMap deliver(const QVariant& request);

    TestBus m_bus;
    Receiver m_receiver;
};

void DBusArgumentUnpackTest::initTestCase()
{
    QVERIFY(m_bus.start());
    QVERIFY(m_bus.connection().registerObject("/receiver", &m_receiver,
                                              QDBusConnection::ExportAllSlots));
}

void DBusArgumentUnpackTest::unpacksWhatTheBusDelivered_data()
{
    QTest::addColumn<QVariant>("sent");
    QTest::addColumn<QVariant>("expected");
    const QVariantMap inner{{"depth", 2}, {"list", QVariantList{1, "two", true}}};
    const QVariant same;
    QTest::newRow("basic") << QVariant(42) << same;
    QTest::newRow("nested dictionaries")
        << QVariant(QVariantMap{{"outer", QVariantMap{{"inner", inner}}}}) << same;
    QTest::newRow("array of dictionaries") << QVariant(QVariantList{inner, inner}) << same;
    QTest::newRow("string array") << QVariant(QStringList{"a", "b"})
                                  << QVariant(QVariantList{"a", "b"});
    QTest::newRow("structures") << structures()
                                << QVariant(QVariantList{QVariantList{7, "seven"},
                                                         QVariantList{1, 2}, 8});
    QTest::newRow("variant in variant")
        << QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(QVariantList{1, 2}))))
        << QVariant(QVariantList{1, 2});
    QTest::newRow("bytes") << QVariant(QByteArray("\x01\x02", 2)) << same;
    QTest::newRow("empty array") << QVariant(QVariantList()) << same;
}

void DBusArgumentUnpackTest::unpacksWhatTheBusDelivered()
{
    QFETCH(QVariant, sent);
    QFETCH(QVariant, expected);
    QDBusConnection bus = m_bus.connection();
    QDBusMessage call =
        QDBusMessage::createMethodCall(bus.baseService(), "/receiver", "test.Receiver", "take");
    call << QVariantMap{{"value", sent}, {"plain", "text"}};
    const QDBusPendingCall pending = bus.asyncCall(call);
    QVERIFY(QTest::qWaitFor([&] { return pending.isFinished(); }, 10000));
    QVERIFY2(!pending.isError(), qPrintable(pending.error().message()));

    const QVariantMap unpacked = libpivra::dbusArgumentUnpack(m_receiver.received);
    QCOMPARE(unpacked,
             (QVariantMap{{"plain", "text"}, {"value", expected.isValid() ? expected : sent}}));
}

QVariantMap DBusArgumentUnpackTest::deliver(const QVariant& request)
{
    QDBusConnection bus = m_bus.connection();
    QDBusMessage call =
        QDBusMessage::createMethodCall(bus.baseService(), "/receiver", "test.Receiver", "take");
    call << request;
    m_receiver.received.clear();
    const QDBusPendingCall pending = bus.asyncCall(call);
    const bool answered = QTest::qWaitFor([&] { return pending.isFinished(); }, 10000);
    return answered && !pending.isError() ? m_receiver.received : QVariantMap{{"failed", true}};
}

void DBusArgumentUnpackTest::repeatedKeyKeepsTheEntrySentLast()
{
    // A dictionary may repeat a key on the wire; what the handler reads must be what Qt's
    // value() gives for the delivered map, the entry sent last.
    QDBusArgument request;
    request.beginMap(QVariant::String, qMetaTypeId<QDBusVariant>());
    for (const char* commandId : {"GetCommands", "HandleCommand"}) {
        request.beginMapEntry();
        request << QStringLiteral("commandId") << QDBusVariant(QString::fromLatin1(commandId));
        request.endMapEntry();
    }
    request.endMap();
    const QVariantMap delivered = deliver(QVariant::fromValue(request));
    QCOMPARE(delivered.value("commandId"), QVariant("HandleCommand"));
    QCOMPARE(libpivra::dbusArgumentUnpack(delivered),
             (QVariantMap{{"commandId", "HandleCommand"}}));
}

QTEST_GUILESS_MAIN(DBusArgumentUnpackTest)
#include "tst_dbusargumentunpack.moc"
