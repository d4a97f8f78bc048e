// chctl as a technician runs it: the real chctl binary against the real service and the four
// sibling simulator processes on a private bus. What a command did is read from the
// simulators' logged calls.
#include "ServiceProcess.h"
#include "TestBus.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <grp.h>
#include <unistd.h>

namespace {

const QString groupName = QStringLiteral("cmdhandler");

struct Result {
    int exitCode;
    QString out;
    QString err;
};

Result runChctl(const QStringList& arguments, const QByteArray& input = {},
                const QStringList& asUser = {})
{
    // As another user through setpriv: its options, then "--" and the program.
    const QStringList setpriv =
        asUser.isEmpty() ? QStringList() : QStringList{"setpriv"} + asUser + QStringList{"--"};
    const QStringList command = setpriv + QStringList{CHCTL_BINARY} + arguments;
    QProcess chctl;
    chctl.start(command.first(), command.mid(1));
    chctl.write(input);
    chctl.closeWriteChannel();
    if (!chctl.waitForFinished(30000)) {
        chctl.kill();
        chctl.waitForFinished();
        return {-1, {}, QStringLiteral("timed out")};
    }
    return {chctl.exitCode(), QString::fromUtf8(chctl.readAllStandardOutput()),
            QString::fromUtf8(chctl.readAllStandardError())};
}

} // namespace

class ChctlTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void chctl_data();
    void chctl();
    void busPolicy_data();
    void busPolicy();
    void completion_data();
    void completion();
    void serviceAbsent();

private:
    TestBus m_bus;
    ServiceProcess* m_service = nullptr;
    bool m_canSwitchUser = false;
};

void ChctlTest::initTestCase()
{
    // The bus resolves the policy's group when it starts, so the group must exist first.
    m_canSwitchUser =
        geteuid() == 0 && !QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty();
    if (m_canSwitchUser && getgrnam("cmdhandler") == nullptr) {
        QCOMPARE(QProcess::execute(QStringLiteral("groupadd"), {"--system", groupName}), 0);
    }
    QVERIFY(m_bus.start() && m_bus.startSiblings());
    m_service = m_bus.startService();
    QVERIFY(m_bus.waitForBusName(TestBus::serviceName));
}

void ChctlTest::chctl_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    // Found in standard output, or for a failure in either stream.
    QTest::addColumn<QString>("expected");
    // "<sibling>: <call>" as the simulator logs it.
    QTest::addColumn<QString>("siblingCall");
    const auto row = [](const char* name, const QStringList& arguments, int exitCode,
                        const QString& expected, const QString& siblingCall = {}) {
        QTest::newRow(name) << arguments << QByteArray() << exitCode << expected << siblingCall;
    };
    row("list", {"list"}, 0, "position.\n  3  DocumentCommandId       Stored documents: list");
    row("list a category by name", {"list", "paperfeed"}, 0,
        "202  FeedLines <lines:int>        Feed the paper by a number of lines.\n");
    row("json: numbers, in menu order", {"list", "6", "--json"}, 0,
        "\"id\": \"IPCState\",\n            \"number\": 600\n        },\n        {\n"
        "            \"description\": \"Run the motor self-test.\",\n            \"id\": "
        "\"RunMotorTest\",\n            \"number\": 601\n        },");
    row("help: types as chctl takes them", {"help", "102"}, 0,
        "102  SetSetting\nChange one setting.\nCategory: 1 ConfigurationCommandId\n"
        "Arguments:\n  name text\n  value text\nUsage: chctl run 102 <name:text> <value:text>\n");
    row("help without a number, --no-pager", {"--no-pager", "help"}, 0,
        "  6  IpcCommandId            Service and maintenance");
    row("run: int", {"run", "202", "3"}, 0, "resultId: Success\nerrorId: Undefined\n",
        "print-manager: feedLines(3)");
    row("run: text with a blank", {"run", "500", "Hello world"}, 0, "",
        "speech: speak(\"Hello world\")");
    row("run: bool, reply values shown", {"--sender", "WebServer", "run", "600", "false"}, 0,
        "enabled: false\n", "print-manager: setIPCState(false)");
    row("run: IPC on without its argument", {"run", "600"}, 0, "enabled: true\n",
        "print-manager: setIPCState(true)");
    row("run: negative number without --", {"run", "202", "-2"}, 0, "resultId: Success",
        "print-manager: feedLines(-2)");
    row("run: nested lists indented", {"run", "300"}, 0,
        "detailsListMap:\n  documents:\n    - id: doc-1\n      name: Welcome letter\n"
        "      pages: 2\n    - id: doc-2\n");
    row("run: Failure with its reason", {"run", "105", "/tmp/settings"}, 1,
        "errorId: Undefined\nchctl: ImportSettings (105): not implemented\n");
    row("run: reason in json", {"--json", "run", "105", "/tmp/settings"}, 1,
        "\"errorText\": \"ImportSettings (105): not implemented\",");
    row("refused: not an int", {"run", "202", "three"}, 2,
        "argument 1 (lines) must be a 32-bit integer, not \"three\"\nUsage: chctl run 202 "
        "<lines:int>");
    row("refused: unknown number", {"run", "999"}, 2, "no command 999");
    row("refused: unknown sender", {"--sender", "Nobody", "list"}, 2, "unknown sender");
    const auto console = [](const char* name, const char* input, int exitCode,
                            const QString& expected, const QString& siblingCall = {}) {
        QTest::newRow(name) << QStringList{} << QByteArray(input) << exitCode << expected
                            << siblingCall;
    };
    console("console: run quoted text", "C 500 \"Hello console\"\n", 0,
            "========== 500 - Speak a text aloud. ==========\nresultId: Success\nerrorId: "
            "Undefined\n================== Done ==================\n",
            "speech: speak(\"Hello console\")");
    QTest::newRow("console: refused argument")
        << QStringList{"console"} << QByteArray("c 202 four\n") << 2
        << "FeedLines argument 1 (lines) must be a 32-bit integer, not \"four\"\n"
           "Usage: C 202 <lines:int>\n================== Done"
        << "";
    console("console: Failure with its reason", "C 105 /tmp/settings\nHELP C\n", 1,
            "errorId: Undefined\nImportSettings (105): not implemented\n================== Done");
    console("console: unknown command", "C 999\nHELP C\n", 2, "Command 999 not found!");
    console("console: unknown line", "HELP C\nstatus\n", 2, "================== Help");
}

void ChctlTest::chctl()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    QFETCH(QString, siblingCall);

    const Result result = runChctl(arguments, input);
    const QString stream = exitCode == 0 ? result.out : result.out + result.err;
    QVERIFY2(stream.contains(expected), qPrintable(stream));
    QVERIFY2(result.exitCode == exitCode,
             qPrintable(QStringLiteral("exit %1, expected %2; standard error:\n%3")
                            .arg(result.exitCode)
                            .arg(exitCode)
                            .arg(result.err)));
    if (!siblingCall.isEmpty()) {
        ServiceProcess* sibling = m_bus.sibling(siblingCall.section(QLatin1Char(':'), 0, 0));
        QVERIFY2(sibling->waitForOutput(siblingCall), qPrintable(sibling->output()));
    }
}

void ChctlTest::busPolicy_data()
{
    QTest::addColumn<bool>("inGroup");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");
    QTest::newRow("user outside the group")
        << false << 3
        << "chctl: access refused: chctl needs root or membership of the group cmdhandler; log "
           "in again after being added\n";
    QTest::newRow("member of the group") << true << 0 << "";
}

void ChctlTest::busPolicy()
{
    QFETCH(bool, inGroup);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    if (!m_canSwitchUser) {
        QSKIP("needs root and setpriv to run chctl as another user");
    }
    const QStringList identity{"--reuid=65534", "--regid=65534",
                               inGroup
                                   ? "--groups=" + QString::number(getgrnam("cmdhandler")->gr_gid)
                                   : QStringLiteral("--clear-groups")};
    const Result result = runChctl({"run", "203"}, {}, identity);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.err, error);
    // Only root may own the service's name, members of the group included.
    QProcess owner;
    owner.setProcessChannelMode(QProcess::MergedChannels);
    owner.start("setpriv",
                identity + QStringList{"--", "gdbus", "call", "--address", m_bus.address(), "-d",
                                       "org.freedesktop.DBus", "-o", "/org/freedesktop/DBus", "-m",
                                       "org.freedesktop.DBus.RequestName",
                                       "com.vellorn.CommandHandler", "4"});
    QVERIFY(owner.waitForFinished(15000));
    QVERIFY(owner.readAll().contains("org.freedesktop.DBus.Error.AccessDenied"));
}

// What bash offers on Tab, from the installed script in a bash without bash-completion's helpers.
void ChctlTest::completion_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("offered");
    QTest::newRow("category word") << QStringList{"list", "pa"} << QStringList{"paperfeed"};
    QTest::newRow("command number")
        << QStringList{"--json", "run", "60"} << QStringList{"600", "601", "602", "603"};
    QTest::newRow("sender") << QStringList{"--sender", "Co"}
                            << QStringList{"CommandHandler", "ConfigurationManager"};
}

void ChctlTest::completion()
{
    QFETCH(QStringList, words);
    QFETCH(QStringList, offered);
    QProcess bash;
    bash.start("bash", QStringList{"--norc", "--noprofile", "-c",
                                   "source \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); "
                                   "_chctl; printf '%s\\n' \"${COMPREPLY[@]}\"",
                                   CHCTL_COMPLETION, CHCTL_BINARY} +
                           words);
    QVERIFY(bash.waitForFinished(30000));
    QCOMPARE(QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
             offered);
}

// Last: stops the service.
void ChctlTest::serviceAbsent()
{
    m_service->stop();
    for (const QByteArray& input : {QByteArray(), QByteArray("HELP C\n")}) {
        const Result result =
            runChctl(input.isEmpty() ? QStringList{"list"} : QStringList{}, input);
        QCOMPARE(result.exitCode, 3);
        QVERIFY2(result.err.contains("org.freedesktop.DBus.Error.ServiceUnknown"),
                 qPrintable(result.err));
    }
}

QTEST_GUILESS_MAIN(ChctlTest)
#include "tst_chctl.moc"
