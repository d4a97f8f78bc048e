#include "SiblingLink.h"

#include <QtTest>

// Requests reach the clients from the bus, from JSON and from the operator console, so the
// same argument arrives as a number, a double or a text; the sibling needs its exact bus type.
class tst_SiblingLinkArguments : public QObject
{
    Q_OBJECT
private slots:
    void conversion_data();
    void conversion();
};

void tst_SiblingLinkArguments::conversion_data()
{
    QTest::addColumn<QVariantList>("arguments");
    QTest::addColumn<QString>("types");
    QTest::addColumn<QVariantList>("expected"); // empty: refused

    const QVariantList refused;
    QTest::newRow("int from text")
        << QVariantList{QStringLiteral(" 42")} << "i" << QVariantList{42};
    QTest::newRow("int from whole double") << QVariantList{7.0} << "i" << QVariantList{7};
    QTest::newRow("int from fraction") << QVariantList{2.5} << "i" << refused;
    QTest::newRow("int from word") << QVariantList{QStringLiteral("three")} << "i" << refused;
    QTest::newRow("int out of range") << QVariantList{qlonglong(1) << 40} << "i" << refused;
    QTest::newRow("bool from text")
        << QVariantList{QStringLiteral("TRUE")} << "b" << QVariantList{true};
    QTest::newRow("bool from digit text")
        << QVariantList{QStringLiteral("0")} << "b" << QVariantList{false};
    QTest::newRow("bool from other text") << QVariantList{QStringLiteral("yes")} << "b" << refused;
    QTest::newRow("bool from 2") << QVariantList{2} << "b" << refused;
    QTest::newRow("bool from whole double") << QVariantList{1.0} << "b" << QVariantList{true};
    QTest::newRow("text from list") << QVariantList{QVariant(QVariantList{1})} << "s" << refused;
    QTest::newRow("two texts") << QVariantList{QStringLiteral("Speech/rate"), 60} << "ss"
                               << QVariantList{QStringLiteral("Speech/rate"), QStringLiteral("60")};
    QTest::newRow("count differs") << QVariantList{} << "i" << refused;
}

void tst_SiblingLinkArguments::conversion()
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

QTEST_GUILESS_MAIN(tst_SiblingLinkArguments)
#include "tst_SiblingLinkArguments.moc"
