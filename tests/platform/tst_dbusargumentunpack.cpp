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
QVariant structure(int number, const QString& text)
{
    QDBusArgument argument;
    argument.beginStructure();
    argument << number << text;
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

private:
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
    QTest::newRow("structure") << structure(7, "seven") << QVariant(QVariantList{7, "seven"});
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

QTEST_GUILESS_MAIN(DBusArgumentUnpackTest)
#include "tst_dbusargumentunpack.moc"
