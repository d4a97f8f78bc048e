#include "ArgumentConversion.h"
#include "ErrorText.h"

#include <QtTest>

#include <limits>

class ArgumentConversionTest : public QObject
{
    Q_OBJECT
private slots:
    void convert_data();
    void convert();
    void wordOfTextType();
    void textOfScalarsOnly_data();
    void textOfScalarsOnly();
    void quotedValuesAreCutAtWholeCharacters();
    void argumentTypesAreTheTablesThree();
};

void ArgumentConversionTest::convert_data()
{
    // An invalid expected value: refused.
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("asInt");
    QTest::addColumn<QVariant>("asBool");
    const auto row = [](const char* name, const QVariant& value, const QVariant& asInt,
                        const QVariant& asBool) {
        QTest::newRow(name) << value << asInt << asBool;
    };
    const QVariant no;
    const int max = std::numeric_limits<int>::max();
    const qlonglong min = std::numeric_limits<int>::min();
    row("int max", max, max, no);
    row("just above max", qlonglong(max) + 1, no, no);
    row("just below min", min - 1, no, no);
    row("unsigned that wraps to 1", qulonglong(1) << 32 | 1, no, no);
    row("bus byte is a number, not a digit", QVariant::fromValue(uchar('1')), 49, no);
    row("whole double 1", 1.0, 1, true);
    row("double at min", double(min), int(min), no);
    row("double just above max", double(max) + 1, no, no);
    row("fraction", 0.5, no, no);
    row("NaN", std::numeric_limits<double>::quiet_NaN(), no, no);
    row("infinity", -std::numeric_limits<double>::infinity(), no, no);
    row("float", 1.0f, no, no);
    row("text with blanks and sign", " \t-7 ", -7, no);
    row("text 0 with blank", " 0", 0, false);
    row("text TRUE with blanks", " TRUE ", no, true);
    row("text yes", "yes", no, no);
    row("boolean", true, no, true);
    row("bytes", QByteArray("1"), no, no);
}

void ArgumentConversionTest::convert()
{
    QFETCH(QVariant, value);
    QFETCH(QVariant, asInt);
    QFETCH(QVariant, asBool);

    const std::optional<int> number = ArgumentConversion::toInt(value);
    QCOMPARE(number.has_value(), asInt.isValid());
    QCOMPARE(number.value_or(0), asInt.toInt());
    const std::optional<bool> state = ArgumentConversion::toBool(value);
    QCOMPARE(state.has_value(), asBool.isValid());
    QCOMPARE(state.value_or(false), asBool.toBool());
}

// A text argument is sent as typed, even when it reads as a number.
void ArgumentConversionTest::wordOfTextType()
{
    const std::optional<QVariant> value = ArgumentConversion::fromWord(" 12", "QString");
    QVERIFY(value);
    QCOMPARE(value->userType(), int(QMetaType::QString));
    QCOMPARE(value->toString(), QStringLiteral(" 12"));
}

void ArgumentConversionTest::textOfScalarsOnly_data()
{
    // An invalid expected text: refused.
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("text");
    QTest::newRow("int") << QVariant(-42) << QVariant("-42");
    QTest::newRow("wider than int") << QVariant(qlonglong(1) << 33) << QVariant("8589934592");
    QTest::newRow("boolean") << QVariant(true) << QVariant("true");
    QTest::newRow("double") << QVariant(1.5) << QVariant("1.5");
    QTest::newRow("text") << QVariant("x") << QVariant("x");
    QTest::newRow("bytes") << QVariant(QByteArray("b")) << QVariant("b");
    QTest::newRow("list") << QVariant(QVariantList{1}) << QVariant();
    QTest::newRow("map") << QVariant(QVariantMap{{"a", 1}}) << QVariant();
    QTest::newRow("nothing") << QVariant() << QVariant();
}

// A text argument takes whatever spells out as one value; a list or a map is no text.
void ArgumentConversionTest::textOfScalarsOnly()
{
    QFETCH(QVariant, value);
    QFETCH(QVariant, text);
    const std::optional<QVariant> sent = ArgumentConversion::toText(value);
    QCOMPARE(sent.has_value(), text.isValid());
    QCOMPARE(sent.value_or(QVariant()).toString(), text.toString());
}

// A reason quotes at most 64 characters of a caller's value, and never half of a surrogate
// pair: that would be no text on the bus.
void ArgumentConversionTest::quotedValuesAreCutAtWholeCharacters()
{
    const QString fits(64, QLatin1Char('a'));
    QCOMPARE(errorText::shortened(fits), fits);
    const QString longer = fits + QLatin1Char('b');
    QCOMPARE(errorText::shortened(longer), fits + QStringLiteral("… (65 characters)"));
    const QString pairAtTheCut =
        QString(63, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x98\x80") + "zz";
    QCOMPARE(errorText::shortened(pairAtTheCut),
             QString(63, QLatin1Char('a')) + QStringLiteral("… (67 characters)"));
}

// Only these are converted and checked before a command goes to its sibling; any other type is
// sent as text.
void ArgumentConversionTest::argumentTypesAreTheTablesThree()
{
    for (const char* type : {"int", "bool", "QString"}) {
        QVERIFY2(ArgumentConversion::isArgumentType(QLatin1String(type)), type);
    }
    for (const char* type : {"Int", "QVariantMap", "void", ""}) {
        QVERIFY2(!ArgumentConversion::isArgumentType(QLatin1String(type)), type);
    }
}

QTEST_APPLESS_MAIN(ArgumentConversionTest)
#include "tst_argumentconversion.moc"
