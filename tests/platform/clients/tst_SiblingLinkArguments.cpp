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
    const auto row = [](const char* name, const QVariantList& arguments, const char* types,
                        const QVariantList& expected) {
        QTest::newRow(name) << arguments << types << expected;
    };
    row("int from text", {" 42"}, "i", {42});
    row("int from whole double", {7.0}, "i", {7});
    row("int from fraction", {2.5}, "i", refused);
    row("int from word", {"three"}, "i", refused);
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
