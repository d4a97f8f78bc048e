// The lanes' settings as the environment gives them: only plain decimal whole numbers above 0
// are taken, anything else is named in one warning and the default holds; a wait bound that
// keeps callers waiting past a bus client's default time-out is warned about.
#include "LaneSettings.h"
#include "LogCapture.h"

#include <QTest>

class LaneSettingsTest : public QObject
{
    Q_OBJECT
private slots:
    void readsDecimalsOnly_data();
    void readsDecimalsOnly();
};

void LaneSettingsTest::readsDecimalsOnly_data()
{
    QTest::addColumn<QByteArray>("capacity");
    QTest::addColumn<QByteArray>("waitSeconds");
    QTest::addColumn<int>("expectedCapacity");
    QTest::addColumn<int>("expectedWait");
    // The start of each warning, in order.
    QTest::addColumn<QStringList>("warnings");

    const int capacity = LaneSettings::defaultCapacity;
    const int wait = LaneSettings::defaultWaitSeconds;
    const QString late = QStringLiteral("A lane wait bound of %1 s");
    QTest::newRow("unset") << QByteArray() << QByteArray() << capacity << wait << QStringList();
    QTest::newRow("plain") << QByteArray("5") << QByteArray("23") << 5 << 23 << QStringList();
    QTest::newRow("a C octal") << QByteArray("64") << QByteArray("010") << 64 << wait
                               << QStringList{"COMMAND_HANDLER_LANE_WAIT_SECONDS=\"010\" is not "
                                              "taken"};
    QTest::newRow("a C hexadecimal")
        << QByteArray("0x5") << QByteArray() << capacity << wait
        << QStringList{"COMMAND_HANDLER_LANE_CAPACITY=\"0x5\" is not taken"};
    // A wait bound of 0 would bound nothing: not taken either.
    QTest::newRow("negative, zero") << QByteArray("-3") << QByteArray("0") << capacity << wait
                                    << QStringList{"COMMAND_HANDLER_LANE_CAPACITY=\"-3\"",
                                                   "COMMAND_HANDLER_LANE_WAIT_SECONDS=\"0\""};
    QTest::newRow("blanks, beyond an int")
        << QByteArray(" 7") << QByteArray("99999999999") << capacity << wait
        << QStringList{"COMMAND_HANDLER_LANE_CAPACITY=\" 7\"",
                       "COMMAND_HANDLER_LANE_WAIT_SECONDS=\"99999999999\""};
    QTest::newRow("past the bus's default")
        << QByteArray() << QByteArray("24") << capacity << 24 << QStringList{late.arg(24)};
}

void LaneSettingsTest::readsDecimalsOnly()
{
    QFETCH(QByteArray, capacity);
    QFETCH(QByteArray, waitSeconds);
    QFETCH(int, expectedCapacity);
    QFETCH(int, expectedWait);
    QFETCH(QStringList, warnings);
    const auto set = [](const char* name, const QByteArray& value) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    };
    set("COMMAND_HANDLER_LANE_CAPACITY", capacity);
    set("COMMAND_HANDLER_LANE_WAIT_SECONDS", waitSeconds);

    LogCapture log;
    const LaneSettings settings;
    QCOMPARE(settings.capacity(), expectedCapacity);
    QCOMPARE(settings.waitSeconds(), expectedWait);
    const QStringList logged = log.messages(QtWarningMsg);
    QCOMPARE(logged.size(), warnings.size());
    for (int i = 0; i < warnings.size(); ++i) {
        QVERIFY2(logged.at(i).startsWith(warnings.at(i)), qPrintable(logged.at(i)));
    }
}

QTEST_GUILESS_MAIN(LaneSettingsTest)
#include "tst_lanesettings.moc"
