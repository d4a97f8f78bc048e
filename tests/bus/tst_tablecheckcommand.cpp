// `command-handler --check-table`, the real binary: what it prints and its exit status for the
// shipped table, a broken one and one that cannot be read; that it leaves the bus and the
// readiness registry alone; and the unit's reload, which runs it before it signals the service.
#include "TestBus.h"
#include "TestTools.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The table the tests break: the shipped one with FeedLines calling a method nobody offers.
QByteArray brokenTable()
{
    return TestBus::defaultCommandTable().replace("\"feedLines\"", "\"feedLinez\"");
}

// The unit's reload commands, in order, with the installed binary's path made the built one's.
QStringList reloadCommands()
{
    static const QRegularExpression setting(QStringLiteral("^ExecReload=(.*)$"),
                                            QRegularExpression::MultilineOption);
    QStringList commands;
    auto matches = setting.globalMatch(QString::fromUtf8(readFile(UNIT_FILE)));
    while (matches.hasNext()) {
        commands.append(matches.next().captured(1).replace(QStringLiteral(INSTALLED_BINARY),
                                                           QStringLiteral(COMMAND_HANDLER_BINARY)));
    }
    return commands;
}

} // namespace

class TableCheckCommandTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void checksTheNamedOrInstalledTable_data();
    void checksTheNamedOrInstalledTable();
    void reloadRunsTheCheckBeforeTheSignal_data();
    void reloadRunsTheCheckBeforeTheSignal();

private:
    QTemporaryDir m_state;
};

void TableCheckCommandTest::initTestCase()
{
    QVERIFY(m_state.isValid());
    // Neither may be touched: a check runs beside the service, before every reload.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_state.filePath("bus")));
    qputenv("SERVICE_WATCHER_DIR", QFile::encodeName(m_state.filePath("ready")));
    qputenv("STATE_DIRECTORY", QFile::encodeName(m_state.path()));
    qputenv("QT_MESSAGE_PATTERN", "%{message}");
}

void TableCheckCommandTest::checksTheNamedOrInstalledTable_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("installed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines");

    const QString feedLinez = QStringLiteral(
        "Command table: \"FeedLines\" cannot work: the client of com.vellorn.PrintManager has no "
        "method \"feedLinez\"");
    QTest::newRow("shipped, named") << QStringList{"--check-table", DEFAULT_TABLE} << brokenTable()
                                    << 0 << QStringList{"30 commands, 0 problems"};
    QTest::newRow("installed, broken") << QStringList{"--check-table"} << brokenTable() << 1
                                       << QStringList{feedLinez, "30 commands, 1 problem"};
    const QString missing = m_state.filePath(QStringLiteral("missing.json"));
    QTest::newRow("named, missing")
        << QStringList{"--check-table", missing} << TestBus::defaultCommandTable() << 1
        << QStringList{QStringLiteral("CommandHandler::initialize ERROR: reading \"%1\" failed!")
                           .arg(missing),
                       "CommandHandler::initialize ERROR: No such file or directory",
                       missing + ": the command table cannot be loaded"};
}

void TableCheckCommandTest::checksTheNamedOrInstalledTable()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, installed);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);
    QVERIFY(writeFile(m_state.filePath("commandTable.json"), installed));
    const ProgramRun check = runProgram(QStringList{COMMAND_HANDLER_BINARY} + arguments);
    QCOMPARE((check.out + check.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts), lines);
    QCOMPARE(check.exitCode, exitCode);
    QVERIFY(!QDir(m_state.filePath(QStringLiteral("ready"))).exists());
}

void TableCheckCommandTest::reloadRunsTheCheckBeforeTheSignal_data()
{
    QTest::addColumn<bool>("broken");
    QTest::newRow("good table") << false;
    QTest::newRow("broken table") << true;
}

// systemd runs the reload commands in order and stops at the first that fails: a broken table
// fails the reload before the service is signalled.
void TableCheckCommandTest::reloadRunsTheCheckBeforeTheSignal()
{
    QFETCH(bool, broken);
    const QStringList commands = reloadCommands();
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands.last(), QStringLiteral("/bin/kill -HUP $MAINPID"));
    QVERIFY(writeFile(m_state.filePath("commandTable.json"),
                      broken ? brokenTable() : TestBus::defaultCommandTable()));
    QCOMPARE(runProgram(commands.first().split(QLatin1Char(' '))).exitCode, broken ? 1 : 0);
}

QTEST_GUILESS_MAIN(TableCheckCommandTest)
#include "tst_tablecheckcommand.moc"
