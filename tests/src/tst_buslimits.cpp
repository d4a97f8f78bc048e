// What a reply can carry on the bus: how deep its values nest and how many bytes they take,
// for values the service builds itself and for values as they arrive from a sibling (still
// marshalled), the latter made by sending them through a private bus.
#include "BusLimits.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDateTime>
#include <QTest>

namespace {

const QString deep = QStringLiteral("is nested deeper than the bus carries");

// Wraps a value in maps, lists and bus variants, the variants innermost.
QVariantMap nested(QVariant value, int maps, int lists, int variants)
{
    for (int i = 0; i < variants; ++i) {
        value = QVariant::fromValue(QDBusVariant(value));
    }
    for (int i = 0; i < lists; ++i) {
        value = QVariantList{value};
    }
    for (int i = 0; i < maps; ++i) {
        value = QVariantMap{{"k", value}};
    }
    return {{"r", value}};
}

// Structures of a number and a variant (two containers a level), or dictionaries from numbers to
// variants (three), each holding the next level in its last variant, zero innermost.
QVariant levels(int count, bool dictionaries)
{
    QVariant inner = 0;
    for (int i = 0; i < count; ++i) {
        QDBusArgument level;
        if (dictionaries) {
            level.beginMap(QMetaType::Int, qMetaTypeId<QDBusVariant>());
            for (const QVariant& value : {QVariant(0), inner}) {
                level.beginMapEntry();
                level << (value == inner ? 2 : 1) << QDBusVariant(value);
                level.endMapEntry();
            }
            level.endMap();
        } else {
            level.beginStructure();
            level << 1 << QDBusVariant(inner);
            level.endStructure();
        }
        inner = QVariant::fromValue(level);
    }
    return inner;
}

} // namespace

class BusLimitsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void problem_data();
    void problem();
    void receivedValues_data();
    void receivedValues();
    void elementSize_data();
    void elementSize();

private:
    TestBus m_bus;
};

void BusLimitsTest::initTestCase()
{
    QVERIFY(m_bus.start());
}

void BusLimitsTest::problem_data()
{
    QTest::addColumn<QVariantMap>("reply");
    QTest::addColumn<QString>("problem");

    // The reply's own dictionary puts its values inside three containers: array, entry, variant.
    QTest::newRow("variants to the limit") << nested(1, 0, 0, 61) << "";
    QTest::newRow("variants, one more") << nested(1, 0, 0, 62) << deep;
    QTest::newRow("maps to the limit") << nested(1, 20, 0, 1) << "";
    QTest::newRow("maps, one more") << nested(1, 20, 0, 2) << deep;
    QTest::newRow("lists to the limit") << nested(QStringList{"s"}, 0, 30, 0) << "";
    QTest::newRow("lists, one more") << nested(QStringList{"s"}, 0, 30, 1) << deep;
    // An empty container's type still counts: a list one level, a map two (array, entry).
    QTest::newRow("empty list, one more") << nested(QVariantList(), 0, 0, 61) << deep;
    QTest::newRow("empty map to the limit") << nested(QVariantMap(), 0, 0, 59) << "";
    QTest::newRow("empty map, one more") << nested(QVariantMap(), 0, 0, 60) << deep;
    QTest::newRow("unix fd after another value in a list")
        << QVariantMap{{"r", QVariantList{1, QVariant::fromValue(QDBusUnixFileDescriptor(0))}}}
        << "holds a unix file descriptor";
    QTest::newRow("date") << nested(QDateTime(), 1, 0, 0)
                          << "holds a value the bus cannot carry (QDateTime)";
    QTest::newRow("nothing") << nested(QVariant(), 0, 0, 1)
                             << "holds a value the bus cannot carry (none)";
    // Array length, padding, key, signature, string length, text and its end: 25 bytes and
    // the text, which takes 2, 3 and 4 bytes for the last three characters.
    const int text = BusLimits::maximumBodySize - 25 - 9;
    const QString wide = QStringLiteral("\u00fc\u20ac\U0001F600");
    QTest::newRow("just under the size") << QVariantMap{{"k", QString(text, 'x') + wide}} << "";
    QTest::newRow("one byte over the size")
        << QVariantMap{{"k", QString(text + 1, 'x') + wide}}
        << QStringLiteral("takes %1 bytes, more than the bus carries in one message")
               .arg(BusLimits::maximumBodySize + 1);
}

void BusLimitsTest::problem()
{
    QFETCH(QVariantMap, reply);
    QFETCH(QString, problem);
    QCOMPARE(BusLimits::problem(reply), problem);
}

void BusLimitsTest::receivedValues_data()
{
    QTest::addColumn<QVariant>("sent");
    QTest::addColumn<QString>("problem");
    QTest::newRow("structures to the limit") << levels(30, false) << "";
    QTest::newRow("structures, one more") << levels(31, false) << deep;
    QTest::newRow("dictionaries to the limit") << levels(20, true) << "";
    QTest::newRow("dictionaries, one more") << levels(21, true) << deep;
}

void BusLimitsTest::receivedValues()
{
    QFETCH(QVariant, sent);
    QFETCH(QString, problem);
    const QVariant received = m_bus.echo(sent);
    QCOMPARE(received.userType(), qMetaTypeId<QDBusArgument>());
    QCOMPARE(BusLimits::problem({{"r", received}}), problem);
}

// The bytes of one element of a list of variants, worked out from the bus's wire format: the
// signature (length, code, end), padding to the value's alignment, the value; and up to seven
// bytes of padding in front.
void BusLimitsTest::elementSize_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("byte") << QVariant::fromValue(uchar(1)) << qint64(3 + 1 + 7);
    QTest::newRow("int16") << QVariant::fromValue(short(1)) << qint64(3 + 1 + 2 + 7);
    QTest::newRow("int32") << QVariant(1) << qint64(3 + 1 + 4 + 7);
    QTest::newRow("double") << QVariant(1.5) << qint64(3 + 5 + 8 + 7);
    QTest::newRow("text") << QVariant("ab") << qint64(3 + 1 + 4 + 3 + 7);
    // An object path travels as text does: length, characters, end.
    QTest::newRow("object path") << QVariant::fromValue(QDBusObjectPath("/a/b"))
                                 << qint64(3 + 1 + 4 + 5 + 7);
    // "av", the length, then each element from its own alignment.
    QTest::newRow("list of two int32")
        << QVariant(QVariantList{1, 2}) << qint64(4 + 4 + (3 + 1 + 4) + (3 + 1 + 4) + 7);
}

void BusLimitsTest::elementSize()
{
    QFETCH(QVariant, value);
    QFETCH(qint64, bytes);
    QCOMPARE(BusLimits::elementSize(value), bytes);
}

QTEST_GUILESS_MAIN(BusLimitsTest)
#include "tst_buslimits.moc"
