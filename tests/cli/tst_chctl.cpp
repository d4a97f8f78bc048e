// chctl as a technician runs it: the real chctl binary against the real service and the four
// sibling simulator processes on a private bus. What a command did is read from the
// simulators' logged calls.
#include "ServiceProcess.h"
#include "TestBus.h"
#include "TestTools.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString groupName = QStringLiteral("cmdhandler");

ProgramRun runChctl(const QStringList& arguments, const QByteArray& input = {},
                    const QStringList& asUser = {})
{
    // As another user through setpriv: its options, then "--" and the program.
    const QStringList setpriv =
        asUser.isEmpty() ? QStringList() : QStringList{"setpriv"} + asUser + QStringList{"--"};
    return runProgram(setpriv + QStringList{CHCTL_BINARY} + arguments, input);
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
    void waitsAsLongAsTheServiceMayTake();
    void statusBesideASlowSibling();
    void completion_data();
    void completion();
    void serviceAbsent();

private:
    bool setSpeechDelay(int milliseconds);

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
        "\"number\": 600\n        },\n        {\n            \"description\": \"Run the motor");
    row("help: types as chctl takes them", {"help", "102"}, 0,
        "102  SetSetting\nChange one setting.\nCategory: 1 ConfigurationCommandId\n"
        "Arguments:\n  name text\n  value text\nUsage: chctl run 102 <name:text> <value:text>\n");
    row("--help names every command it takes", {"--help"}, 0,
        "  command              list, help, run, console or status.\n");
    row("help without a number, --no-pager", {"--no-pager", "help"}, 0,
        "  6  IpcCommandId            Service and maintenance");
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
    row("run by name, any case", {"run", "feedLINES", "4"}, 0,
        "resultId: Success\nerrorId: Undefined\n", "print-manager: feedLines(4)");
    row("list by a word of the description", {"list", "Speech"}, 0,
        "501  StopSpeaking                  Stop speaking.\n");
    row("refused: a word of several descriptions", {"list", "and"}, 2,
        "chctl: \"and\" describes more than one category: ConfigurationCommandId, ");
    row("refused: a category's word for run", {"run", "paperfeed"}, 2,
        "chctl: paperfeed is a category; chctl list paperfeed shows its commands\n");
    row("refused: unknown name", {"help", "FeedLine"}, 2, "chctl: no command \"FeedLine\"");
    row("refused: argument like an option, with the way through", {"--json", "run", "500", "-hi"},
        2, "chctl: an argument that starts with '-' follows '--': chctl --json run 500 -- -hi\n");
    const auto console = [](const char* name, const char* input, int exitCode,
                            const QString& expected, const QString& siblingCall = {}) {
        QTest::newRow(name) << QStringList{} << QByteArray(input) << exitCode << expected
                            << siblingCall;
    };
    console("console: run quoted text", "C 500 \"Hello console\"\n", 0,
            "== 500 - Speak a text aloud. ==========\nresultId: Success\nerrorId: Undefined\n====",
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

    const ProgramRun result = runChctl(arguments, input);
    const QString stream = exitCode == 0 ? result.out : result.out + result.err;
    QVERIFY2(stream.contains(expected), qPrintable(stream));
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.err));
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
    // The status has the same boundary as the commands.
    for (const QStringList& arguments : {QStringList{"run", "203"}, QStringList{"status"}}) {
        const ProgramRun result = runChctl(arguments, {}, identity);
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(result.err, error);
    }
    // Only root may own the service's name, members of the group included.
    const ProgramRun owner = runProgram(
        QStringList{"setpriv"} + identity +
        QStringList{"--", "gdbus", "call", "--address", m_bus.address(), "-d",
                    "org.freedesktop.DBus", "-o", "/org/freedesktop/DBus", "-m",
                    "org.freedesktop.DBus.RequestName", "com.vellorn.CommandHandler", "4"});
    QVERIFY2((owner.out + owner.err).contains("org.freedesktop.DBus.Error.AccessDenied"),
             qPrintable(owner.err));
}

bool ChctlTest::setSpeechDelay(int milliseconds)
{
    const QString speech = TestBus::busNameOf("speech");
    return m_bus
               .call(QDBusMessage::createMethodCall(speech, "/", speech, "setDelay")
                     << milliseconds)
               .type() == QDBusMessage::ReplyMessage;
}

// The speech sibling answers each call after a second, well below the service's 2 s call
// time-out so that every call succeeds on a busy machine too, and eleven requests queued before
// chctl's keep its lane busy for longer than 10 s.
void ChctlTest::waitsAsLongAsTheServiceMayTake()
{
    QVERIFY(setSpeechDelay(1000));
    auto normal = qScopeGuard([this] { setSpeechDelay(0); });
    m_bus.clearSent();
    for (int i = 1; i <= 11; ++i) {
        m_bus.send(QString::number(i), TestBus::command(500, {QStringLiteral("queued %1").arg(i)}));
    }
    QVERIFY(m_bus.sibling("speech")->waitForOutput("speech: speak(\"queued 1\")"));
    QElapsedTimer took;
    took.start();
    const ProgramRun result = runChctl({"run", "501"});
    QVERIFY2(result.exitCode == 0 && result.err.isEmpty(), qPrintable(result.err));
    QVERIFY(took.elapsed() > 10000);
    QTRY_COMPARE_WITH_TIMEOUT(m_bus.completed.size(), 11, 30000);
}

// Two calls that each outlast the service's call time-out keep the speech lane busy for about
// 4 s: the status shows the running command, then the failure its caller was told. A reply later
// than chctl's --timeout is given up on.
void ChctlTest::statusBesideASlowSibling()
{
    QVERIFY(setSpeechDelay(2500));
    auto normal = qScopeGuard([this] { setSpeechDelay(0); });
    m_bus.clearSent();
    m_bus.send("first", TestBus::command(500, {"first"}));
    m_bus.send("second", TestBus::command(500, {"second"}));
    QVERIFY(m_bus.sibling("speech")->waitForOutput("speech: speak(\"first\")"));
    const ProgramRun busy = runChctl({"status"});
    QCOMPARE(busy.exitCode, 0);
    const QRegularExpression busyLine(
        "\n +speech: busy \\d+ s with SpeakText \\(500\\), [01] waiting; \\d+ run, \\d+ "
        "failed, 0 not run\n");
    QVERIFY2(busy.out.contains(busyLine), qPrintable(busy.out));
    QVERIFY2(busy.out.contains(QRegularExpression(
                 "^ +Version: \\S+\n +Serving: since \\w{3} \\d{4}-\\d\\d-\\d\\d "
                 "\\d\\d:\\d\\d:\\d\\d \\w+; [^\\n]+ ago\n")),
             qPrintable(busy.out));
    QVERIFY(busy.out.contains(QRegularExpression("\n +print-manager: on the bus, idle; ")));

    QTRY_COMPARE_WITH_TIMEOUT(m_bus.completed.size(), 2, 15000);
    const ProgramRun json = runChctl({"--json", "status"});
    const QVariantMap status = QJsonDocument::fromJson(json.out.toUtf8()).toVariant().toMap();
    const QVariantList lanes = status.value("Lanes").toList();
    QCOMPARE(lanes.size(), 4);
    const QVariantMap speech = lanes.last().toMap();
    QCOMPARE(speech.value("Name"), QVariant("speech"));
    QCOMPARE(speech.value("Failed").toInt(), 2);
    QCOMPARE(
        speech.value("LastFailure"),
        QVariant("SpeakText (500): com.vellorn.Speech.speak failed: no answer within 2000 ms"));
    const ProgramRun told = runChctl({"status"});
    QVERIFY2(told.out.contains(" ago: SpeakText (500): com.vellorn.Speech.speak failed: no "
                               "answer within 2000 ms\n"),
             qPrintable(told.out));
    const ProgramRun late = runChctl({"--timeout", "0.5", "run", "501"});
    QCOMPARE(late.exitCode, 4);
    QCOMPARE(late.err, QString("chctl: no reply within 0.5 s; the command may still run\n"));
}

void ChctlTest::completion_data()
{
    QTest::addColumn<bool>("withHelpers");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("offered");
    for (const bool withHelpers : {false, true}) {
        const auto row = [withHelpers](const char* name, const QString& line,
                                       const QStringList& words, const QStringList& offered) {
            QTest::addRow("%s, %s", name, withHelpers ? "bash-completion" : "bare bash")
                << withHelpers << line << words << offered;
        };
        row("category word", "list pa", {"list", "pa"}, {"paperfeed"});
        row("command number", "--json run 60", {"--json", "run", "60"},
            {"600", "601", "602", "603"});
        row("command name", "run FeedL", {"run", "FeedL"}, {"FeedLines"});
        row("sender", "--sender Co", {"--sender", "Co"},
            {"CommandHandler", "ConfigurationManager"});
        row("after --address='value'", "--address='unix:path=/tmp/b' list pa",
            {"--address", "=", "'unix:path=/tmp/b'", "list", "pa"}, {"paperfeed"});
        row("after --address=value", "--address=unix:path=/tmp/b list pa",
            {"--address", "=", "unix", ":", "path", "=", "/tmp/b", "list", "pa"}, {"paperfeed"});
        row("--sender=value", "--timeout=5 --sender=Co",
            {"--timeout", "=", "5", "--sender", "=", "Co"},
            {"CommandHandler", "ConfigurationManager"});
    }
}

void ChctlTest::completion()
{
    QFETCH(bool, withHelpers);
    QFETCH(QString, line);
    QFETCH(QStringList, words);
    QFETCH(QStringList, offered);
    const QString helpers = QStringLiteral("/usr/share/bash-completion/bash_completion");
    if (withHelpers && !QFile::exists(helpers)) {
        QSKIP("the bash-completion package is not installed");
    }
    const ProgramRun bash =
        runProgram(QStringList{"bash", "--norc", "--noprofile", "-c",
                               "[ -n \"$1\" ] && source \"$1\"; source \"$0\"; shift; "
                               "COMP_LINE=$1 COMP_POINT=${#1}; shift; COMP_WORDS=(\"$@\"); "
                               "COMP_CWORD=$(($# - 1)); _chctl; printf '%s\\n' \"${COMPREPLY[@]}\"",
                               CHCTL_COMPLETION, withHelpers ? helpers : QString(),
                               CHCTL_BINARY " " + line, CHCTL_BINARY} +
                   words);
    QCOMPARE(bash.out.split('\n', Qt::SkipEmptyParts), offered);
}

// Last: stops the service.
void ChctlTest::serviceAbsent()
{
    m_service->stop();
    for (const QByteArray& input : {QByteArray(), QByteArray("HELP C\n")}) {
        const ProgramRun result =
            runChctl(input.isEmpty() ? QStringList{"list"} : QStringList{}, input);
        QCOMPARE(result.exitCode, 3);
        QVERIFY2(result.err.contains("org.freedesktop.DBus.Error.ServiceUnknown"),
                 qPrintable(result.err));
    }
}

QTEST_GUILESS_MAIN(ChctlTest)
#include "tst_chctl.moc"
