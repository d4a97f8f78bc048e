// Unpacking of request maps as they really come off the bus: the values are sent over a
// private bus to an object of this test and unpacked from what Qt D-Bus delivered.
#include "TestBus.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusArgument>
#include <QDBusConnection>
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

class DBusArgumentUnpackTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void unpacksWhatTheBusDelivered_data();
    void unpacksWhatTheBusDelivered();
    void repeatedKeyKeepsTheEntrySentLast();

private:
    QVariantMap roundTrip(const QVariantMap& request);

    TestBus m_bus;
    Receiver m_receiver;
};

void DBusArgumentUnpackTest::initTestCase()
{
    QVERIFY(m_bus.start());
    QVERIFY(m_bus.connection().registerObject(QStringLiteral("/receiver"), &m_receiver,
                                              QDBusConnection::ExportAllSlots));
}

QVariantMap DBusArgumentUnpackTest::roundTrip(const QVariantMap& request)
{
    QDBusConnection bus = m_bus.connection();
    QDBusMessage call =
        QDBusMessage::createMethodCall(bus.baseService(), QStringLiteral("/receiver"),
                                       QStringLiteral("test.Receiver"), QStringLiteral("take"));
    call << request;
    m_receiver.received.clear();
    const QDBusPendingCall pending = bus.asyncCall(call);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 10000) || pending.isError()) {
        return {{QStringLiteral("call failed"), pending.error().message()}};
    }
    return m_receiver.received;
}

namespace {
QVariant structure(int number, const QString& text)
{
    QDBusArgument argument;
    argument.beginStructure();
    argument << number << text;
    argument.endStructure();
    return QVariant::fromValue(argument);
}

QVariant variantInVariant(const QVariant& inner)
{
    return QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(inner))));
}
} // namespace

void DBusArgumentUnpackTest::unpacksWhatTheBusDelivered_data()
{
    QTest::addColumn<QVariant>("sent");
    QTest::addColumn<QVariant>("expected");

    const QVariantMap inner{{"depth", 2}, {"list", QVariantList{1, "two", true}}};
    QTest::newRow("basic") << QVariant(42) << QVariant(42);
    QTest::newRow("dictionary") << QVariant(inner) << QVariant(inner);
    QTest::newRow("nested dictionaries")
        << QVariant(QVariantMap{{"outer", QVariantMap{{"inner", inner}}}})
        << QVariant(QVariantMap{{"outer", QVariantMap{{"inner", inner}}}});
    QTest::newRow("array of dictionaries")
        << QVariant(QVariantList{inner, inner}) << QVariant(QVariantList{inner, inner});
    QTest::newRow("string array") << QVariant(QStringList{"a", "b"})
                                  << QVariant(QVariantList{"a", "b"});
    QTest::newRow("structure") << structure(7, "seven") << QVariant(QVariantList{7, "seven"});
    QTest::newRow("variant in variant")
        << variantInVariant(QVariantList{1, 2}) << QVariant(QVariantList{1, 2});
    QTest::newRow("bytes") << QVariant(QByteArray("\x01\x02", 2))
                           << QVariant(QByteArray("\x01\x02", 2));
    QTest::newRow("empty array") << QVariant(QVariantList()) << QVariant(QVariantList());
}

void DBusArgumentUnpackTest::unpacksWhatTheBusDelivered()
{
    QFETCH(QVariant, sent);
    QFETCH(QVariant, expected);
    const QVariantMap delivered = roundTrip({{"value", sent}, {"plain", "text"}});
    QVERIFY2(delivered.contains("value"), qPrintable(delivered.keys().join(',')));

    const QVariantMap unpacked = libpivra::dbusArgumentUnpack(delivered);
    QCOMPARE(unpacked.keys(), QStringList({"plain", "value"}));
    QCOMPARE(unpacked.value("plain"), QVariant("text"));
    QCOMPARE(unpacked.value("value"), expected);
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

    QDBusConnection bus = m_bus.connection();
    QDBusMessage call =
        QDBusMessage::createMethodCall(bus.baseService(), QStringLiteral("/receiver"),
                                       QStringLiteral("test.Receiver"), QStringLiteral("take"));
    call << QVariant::fromValue(request);
    m_receiver.received.clear();
    const QDBusPendingCall pending = bus.asyncCall(call);
    QVERIFY(QTest::qWaitFor([&] { return pending.isFinished(); }, 10000));
    QVERIFY2(!pending.isError(), qPrintable(pending.error().message()));

    const QVariantMap unpacked = libpivra::dbusArgumentUnpack(m_receiver.received);
    QCOMPARE(unpacked.value("commandId"), m_receiver.received.value("commandId"));
    QCOMPARE(unpacked.value("commandId"), QVariant("HandleCommand"));
}

QTEST_GUILESS_MAIN(DBusArgumentUnpackTest)
#include "tst_dbusargumentunpack.moc"
