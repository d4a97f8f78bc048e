// The real service binary on a private bus, announced siblings that are not there: malformed
// and hostile calls get a reply (a failure map, or the bus's own error for a wrong signature)
// and the service stays up (arbitrary values in requests are left to the fuzzer); with command
// tables broken in every way and standard descriptors closed, every request of the default table's
// commands is answered with a reply map. Then its life:
// a second instance, the readiness hand-shake with the siblings and the table load, the
// watchdog, how it stops and fails as systemd and its dependants see it, help and version.
#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "TestBus.h"
#include "TestTools.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
QVariant nestedMaps(int depth)
{
    const QByteArray text =
        QByteArray("{\"level\":").repeated(depth) + "0" + QByteArray(depth, '}');
    return QJsonDocument::fromJson(text).toVariant();
}

// The catalogue, and every command number of every category (and a few beyond), with and
// without arguments.
QVector<QVariantMap> everyRequest()
{
    QVector<QVariantMap> requests{
        {{"commandId", "GetCommandCategories"}, {"senderId", "WebServer"}}};
    for (const char* category :
         {"ConfigurationCommandId", "PaperFeedCommandId", "DocumentCommandId", "EmbossCommandId",
          "TestingCommandId", "IpcCommandId", "GetSettings"}) {
        requests.append(
            {{"commandId", "GetCommands"}, {"senderId", "WebServer"}, {"category", category}});
    }
    for (int value = 100; value <= 607; value += value % 100 == 7 ? 93 : 1) {
        requests << TestBus::command(value)
                 << TestBus::command(value, QVariantList{1, "x"}.mid(0, value % 2 + 1));
    }
    return requests;
}

QJsonValue nestedArrays(int depth)
{
    const QByteArray text = QByteArray(depth, '[') + "\"deep\"" + QByteArray(depth, ']');
    return QJsonDocument::fromJson(text).array();
}

const QString readinessName = QStringLiteral("command-handler");

// User plus system CPU time of a process, in seconds.
double cpuSeconds(qint64 pid)
{
    const QByteArray text = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // The command name may hold blanks; the fields are counted from the state after it.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ::sysconf(_SC_CLK_TCK);
}

// How often the process's main thread has gone to sleep and been woken since it started.
qint64 mainThreadWakeUps(qint64 pid)
{
    static const QRegularExpression field(QStringLiteral("^voluntary_ctxt_switches:\\s*(\\d+)$"),
                                          QRegularExpression::MultilineOption);
    const QString status =
        QString::fromLatin1(readFile(QStringLiteral("/proc/%1/task/%1/status").arg(pid)));
    return field.match(status).captured(1).toLongLong();
}

// The message pattern of the installed unit, as systemd hands it to the service.
QByteArray unitMessagePattern()
{
    static const QRegularExpression setting(
        QStringLiteral("^Environment=\"QT_MESSAGE_PATTERN=(.*)\"$"),
        QRegularExpression::MultilineOption);
    return setting.match(QString::fromUtf8(readFile(UNIT_FILE)))
        .captured(1)
        .replace(QStringLiteral("%%"), QStringLiteral("%"))
        .toUtf8();
}

// The elements of one interface, each as its name and attributes; comments and layout left out.
QStringList interfaceElements(const QString& xml, const QString& interface)
{
    QXmlStreamReader reader(xml);
    QStringList elements;
    bool inside = false;
    while (reader.readNext() != QXmlStreamReader::Invalid && !reader.atEnd()) {
        if (reader.isStartElement() && reader.name() == QLatin1String("interface")) {
            inside = reader.attributes().value("name") == interface;
        }
        if (inside && reader.isStartElement()) {
            QStringList element{reader.name().toString()};
            for (const QXmlStreamAttribute& attribute : reader.attributes()) {
                element << attribute.name() + "=" + attribute.value();
            }
            elements << element.join(' ');
        }
    }
    return elements;
}

} // namespace

class ServiceTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void consoleLanguage_data();
    void consoleLanguage();
    void wrongSignaturesAndDeepNesting_data();
    void wrongSignaturesAndDeepNesting();
    void hugeRequestAndEveryRequestWithoutSiblings();
    void idleServiceSleeps();
    void statusInterfaceIsTheShippedOne();
    void secondInstanceLeavesTheFirstsReadinessAlone();
    void sighupReloadsTheTable();
    // These restart the service.
    void signalBurstsNeverHangIt();
    void brokenCommandTableAndStandardDescriptorsClosed_data();
    void brokenCommandTableAndStandardDescriptorsClosed();
    void consoleSaysOnceThatItIsClosedWhenItsLastCommandIsDone();
    void waitsForEverySiblingWithoutSpinningThenTheTable();
    // Its last row takes the bus away.
    void leavesNoReadinessBehind_data();
    void leavesNoReadinessBehind();

private:
    QString startRefusingBus();
    void expectStillServing();
    void expectEveryRequestAnswered();
    void stopService();

    TestBus m_bus;
    ServiceProcess* m_service = nullptr;
};

void ServiceTest::initTestCase()
{
    QVERIFY(m_bus.start());
    m_bus.markSiblingsReady();
    // With the time each console line took. Unknown arguments are ignored.
    qputenv("QT_LOGGING_RULES", "Timer.debug=true");
    m_service = m_bus.startService({"--unknown-argument", "x"});
    qunsetenv("QT_LOGGING_RULES");
    QVERIFY(m_bus.waitForBusName(TestBus::serviceName));
    // Everything it prints at start, the table's line last, is out before the console's rows
    // begin.
    QVERIFY(m_service->waitForOutput("Command table loaded"));
}

// Still up and answering; a command that no sibling could carry out, as none is there, is no
// success.
void ServiceTest::expectStillServing()
{
    QCOMPARE(m_service->state(), QProcess::Running);
    const QVariantMap reply =
        m_bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "WebServer"}});
    QVERIFY(!reply.value("commandCategories").toList().isEmpty());
    QCOMPARE(m_bus.process(TestBus::command(300)),
             QVariantMap({{"resultId", "Failure"}, {"errorId", "Undefined"}}));
}

void ServiceTest::consoleLanguage_data()
{
    QTest::addColumn<QByteArray>("line");
    // What the console prints for the line, from its first character on.
    QTest::addColumn<QString>("printed");
    const QString help = QStringLiteral(
        "\"================== Help ==================\"\n\"HELP C Display commands main menu "
        "info.\"\n\"HELP [cmd_nr] Display command info.\"\n\"C [cmd_nr] Enter category / Run "
        "command.\"\n\"==========================================\"\n");
    const auto refused = [&](const QString& text) { return text + "\n\n\n" + help; };
    QTest::newRow("empty") << QByteArray("\n") << "\n" + help;
    QTest::newRow("help unknown") << QByteArray("HELP 999\n")
                                  << "\nCommand 999 not found!\n\n" + help;
    QTest::newRow("command unknown")
        << QByteArray("C 999\n") << "\nCommand 999 not found!\n\n" + help;
    // How each line reads is the console language's in-process test; one refusal as printed.
    QTest::newRow("C fraction") << QByteArray("c 2.5 1\n")
                                << refused("Commands must be of integer type!");
    QTest::newRow("main menu, mixed case and blanks")
        << QByteArray("hElP   c \n")
        << "\"========== Commands - Main menu ==========\"\n1 \t Device settings: read, change,";
    QTest::newRow("help command, words ignored")
        << QByteArray("helpme 102 x\n")
        << "\n========== Command 102 - Info ==========\n102 - Change one setting. ( name: "
           "QString, value: QString )\n\"====";
    QTest::newRow("category, arguments ignored")
        << QByteArray("c 2 5 6\n")
        << "\n========== Paper handling: load, eject and feed paper, and query its position. - "
           "Menu ==========\n200 \t Load paper into the embosser. \n201";
    // The words after the number are the command's arguments; the call fails at the sibling.
    QTest::newRow("run, last line without end")
        << QByteArray("Cmd  202 7 ")
        << "\n========== 202 - Feed the paper by a number of lines. ==========\nSiblingLink::call "
           "ERROR: com.vellorn.PrintManager.feedLines failed: not on the bus\n\"====";
}

void ServiceTest::consoleLanguage()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, printed);
    const int before = m_service->output().size();
    m_service->write(line);
    if (!line.endsWith('\n')) {
        // The end of input hands on the last line.
        m_service->closeWriteChannel();
    }
    QTRY_VERIFY2(m_service->output().mid(before).startsWith(printed),
                 qPrintable(m_service->output().mid(before)));
    // The line's own time once it is done, and not before: the last line is after it. Only the
    // console's closing line may follow, once the input has ended.
    static const QRegularExpression took(QStringLiteral(
        "\nTimer: Console took \\d+ us\n(Console closed \\(end of input\\)[^\n]*\n)?$"));
    QTRY_VERIFY2(m_service->output().mid(before).contains(took),
                 qPrintable(m_service->output().mid(before)));
    // A line that is understood gets no help block after its answer.
    QCOMPARE(m_service->output().mid(before).count("== Help =="), printed.count("== Help =="));
}

void ServiceTest::stopService()
{
    m_service->stop();
    QTRY_VERIFY(!m_bus.connection().interface()->isServiceRegistered(TestBus::serviceName));
}

void ServiceTest::wrongSignaturesAndDeepNesting_data()
{
    QTest::addColumn<QVariantList>("arguments");
    // The bus's error for the call: none when the service answers.
    QTest::addColumn<QString>("error");
    const QString unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
    QTest::newRow("no argument") << QVariantList() << unknownMethod;
    // Each level is a variant holding a dictionary (three containers); with the request's own
    // dictionary and argument array, the bus's limit of 64 nested containers lies between
    // 18 and 20 levels. Beyond it the library or the bus refuses the call.
    const auto nested = [](int depth) {
        return QVariantList{QVariantMap{{"commandId", "HandleCommand"},
                                        {"subCommandId", 202},
                                        {"args", QVariantList{nestedMaps(depth)}}}};
    };
    QTest::newRow("nested to the limit") << nested(18) << QString();
    QTest::newRow("nested beyond the limit") << nested(20) << QString("*");
}

void ServiceTest::wrongSignaturesAndDeepNesting()
{
    QFETCH(QVariantList, arguments);
    QFETCH(QString, error);
    QDBusMessage call = TestBus::processCall({});
    call.setArguments(arguments);
    // A connection of its own: the bus drops a client that sends what it refuses.
    const QDBusMessage reply = m_bus.call(call, "hostile-client");
    QDBusConnection::disconnectFromBus("hostile-client");
    QCOMPARE(reply.type(),
             error.isEmpty() ? QDBusMessage::ReplyMessage : QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), error == "*" ? reply.errorName() : error);
    expectStillServing();
}

void ServiceTest::hugeRequestAndEveryRequestWithoutSiblings()
{
    QVariantMap request{{"commandId", "GetCommandCategories"}, {"senderId", "WebServer"}};
    QVariantList manyArguments;
    for (int i = 0; i < 20000; ++i) {
        request.insert(QStringLiteral("key%1").arg(i), QVariantList{i, QString::number(i)});
        manyArguments << i;
    }
    request.insert("args", manyArguments);
    QCOMPARE(m_bus.process(request).value("resultId"), QVariant("Success"));
    request.insert("commandId", "HandleCommand");
    request.insert("subCommandId", 202);
    QCOMPARE(m_bus.process(request).value("resultId"), QVariant("Failure"));
    // 12 MB that are no UTF-8 grow threefold as text: repeated whole in a reason, the reply
    // would pass what the bus carries, and the bus would drop the service.
    const QByteArray notText(12 << 20, '\xff');
    const QString shortened = QString(64, QChar::ReplacementCharacter) +
                              QStringLiteral("… (%1 characters)").arg(notText.size());
    const QVector<QPair<QVariantMap, QString>> quoting{
        {{{"commandId", "GetCommands"}, {"senderId", notText}},
         "Invalid sender \"" + shortened + "\""},
        {TestBus::command(600, {notText}), "IPCState (600): \"" + shortened + "\" is no boolean"},
        {TestBus::command(202, {notText}),
         "FeedLines (202): com.vellorn.PrintManager.feedLines failed: argument 1 (" + shortened +
             ") is no int"},
        // As text it would make a message to the sibling larger than the bus carries.
        {TestBus::command(500, {notText}),
         "SpeakText (500): com.vellorn.Speech.speak failed: its arguments take 37748752 bytes, "
         "more than the bus carries in one message"}};
    for (const auto& [asked, reason] : quoting) {
        QVariantMap asking = asked;
        asking.insert("errorText", true);
        QCOMPARE(m_bus.process(asking).value("errorText").toString(), reason);
    }
    expectEveryRequestAnswered();
    expectStillServing();
}

// Nothing to do, nothing awake: the main thread is woken by requests, signals and the bus's own
// messages only (the loss of the bus included, which "bus daemon killed" shows still noticed).
void ServiceTest::idleServiceSleeps()
{
    expectStillServing();
    const qint64 pid = m_service->processId();
    const qint64 before = mainThreadWakeUps(pid);
    QTest::qWait(5000);
    const qint64 wakeUps = mainThreadWakeUps(pid) - before;
    QVERIFY2(wakeUps <= 2, qPrintable(QStringLiteral("woken %1 times in 5 s").arg(wakeUps)));
}

// What the bus shows of the status, annotations included, is what the shipped XML promises.
void ServiceTest::statusInterfaceIsTheShippedOne()
{
    const QDBusMessage introspected = m_bus.call(QDBusMessage::createMethodCall(
        TestBus::serviceName, "/", "org.freedesktop.DBus.Introspectable", "Introspect"));
    const QString interface = "com.vellorn.CommandHandler.Status";
    const QStringList elements = interfaceElements(
        readFile(QFileInfo(BUS_CONFIG_FILE).dir().filePath("com.vellorn.CommandHandler.xml")),
        interface);
    QCOMPARE(elements.size(), 16);
    QCOMPARE(interfaceElements(introspected.arguments().value(0).toString(), interface), elements);
}

void ServiceTest::expectEveryRequestAnswered()
{
    QVERIFY(m_bus.waitForBusName(TestBus::serviceName));
    for (const QVariantMap& request : everyRequest()) {
        // A reply map, as every request must get one.
        const QVariantMap reply = m_bus.process(request);
        const QVariant result = reply.value("resultId");
        QVERIFY((result == "Success" || result == "Failure") && reply.contains("errorId"));
    }
}

void ServiceTest::brokenCommandTableAndStandardDescriptorsClosed_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("logLine");
    // The standard descriptors the service starts without: output alone, so that the check
    // goes on past an open input, input and output together, and error output alone.
    QTest::addColumn<QVector<int>>("closed");
    // A table that cannot be read at all stops the service at start (leavesNoReadinessBehind).
    QTest::newRow("wrong types in every field") << QByteArray(R"({
            "PaperFeedCommandId": "not an object",
            "FeedLines": {"category": 2, "description": ["a"], "argumentCount": "one",
                          "argumentTypes": "lines", "function": 7, "returnType": {}},
            "LoadPaper": {"category": "PaperFeedCommandId", "description": null,
                          "argumentCount": -3, "argumentTypes": [1, null, "x"],
                          "function": ["loadPaper"], "returnType": "void"},
            "GetDocuments": {"category": "DocumentCommandId", "argumentCount": 1e300,
                             "function": "documents", "returnType": "QVariantList"},
            "RunHeadTest": {"category": "IpcCommandId", "argumentCount": true},
            "GetSettings": []
        })") << QString("Parameter") << QVector<int>{1};
    // Deeper than a reply can carry: the bus would drop the service, and marshalling the
    // deepest aborts the process.
    QTest::newRow("nested 29 and 1000 levels")
        << QJsonDocument(
               TestBus::defaultTableWith({{"FeedLines", "description", nestedArrays(29)},
                                          {"PaperFeedCommandId", "description", nestedArrays(1000)},
                                          {"SetCopies", "argumentTypes", nestedArrays(29)}}))
               .toJson()
        << QString("ERROR: description of \"PaperFeedCommandId\" left out of the catalogue: it "
                   "is nested deeper than the bus carries.")
        << QVector<int>{0, 1};
    // Without error output the log would go to whatever the process opened first there, the
    // bus's socket among them. Nothing is seen of the log then.
    QTest::newRow("error output alone")
        << TestBus::defaultCommandTable() << QString() << QVector<int>{2};
}

void ServiceTest::brokenCommandTableAndStandardDescriptorsClosed()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, logLine);
    QFETCH(QVector<int>, closed);
    stopService();
    m_bus.setCommandTable(table);
    m_service = new ServiceProcess(this);
    QString command = QStringLiteral("exec \"$0\"");
    for (int descriptor : closed) {
        command += QStringLiteral(" %1>&-").arg(descriptor);
    }
    m_service->start("/bin/sh", {"-c", command, QStringLiteral(COMMAND_HANDLER_BINARY)});
    expectEveryRequestAnswered();
    QVERIFY2(m_service->waitForOutput(logLine), qPrintable(m_service->output()));
    // The console reads /dev/null rather than whatever the process opened first, and nothing
    // the process opens later is written to as its output.
    for (int descriptor : closed) {
        QCOMPARE(QFile::symLinkTarget(
                     QStringLiteral("/proc/%1/fd/%2").arg(m_service->processId()).arg(descriptor)),
                 QStringLiteral("/dev/null"));
    }
    expectStillServing();
    // At /dev/null, as under systemd, the console says once that it is closed; the service goes on.
    QCOMPARE(m_service->output().count("Console closed (end of input); the service goes on serving "
                                       "the bus until it is stopped."),
             closed.contains(0) ? 1 : 0);
}

void ServiceTest::secondInstanceLeavesTheFirstsReadinessAlone()
{
    QVERIFY(m_bus.waitForReady(readinessName));
    // The running service's readiness holds at every check while the second one starts and
    // ends.
    bool alwaysReady = true;
    ServiceProcess* second = m_bus.startService();
    QVERIFY2(QTest::qWaitFor([&] {
                 alwaysReady = alwaysReady && ServiceWatcher::isReady(readinessName);
                 return second->output().contains(
                     "Unable to register Service: Service-name already in use.");
             }),
             qPrintable(second->output()));
    // Still alive for its console, and the first instance still owns the name and answers.
    QVERIFY(!second->waitForFinished(300));
    expectStillServing();
    second->terminate();
    QVERIFY(QTest::qWaitFor([&] {
        alwaysReady = alwaysReady && ServiceWatcher::isReady(readinessName);
        return second->state() == QProcess::NotRunning;
    }));
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(alwaysReady);
}

// SIGHUP reads the table again for the requests that come afterwards, on the lanes too; a table
// that cannot be loaded leaves the one in use. The service stays on the bus and ready.
void ServiceTest::sighupReloadsTheTable()
{
    // What the service logged for the reload, up to the line that ends it.
    const auto reload = [this](const QByteArray& table, const QString& line) {
        m_bus.setCommandTable(table);
        const int before = m_service->output().size();
        m_service->sendSignal(SIGHUP);
        // The caller finds out whether it came.
        [[maybe_unused]] const bool logged =
            QTest::qWaitFor([&] { return m_service->output().mid(before).contains(line); }, 10000);
        return m_service->output().mid(before);
    };
    const auto paperFeed = [this] {
        return QJsonDocument::fromVariant(m_bus.process({{"commandId", "GetCommands"},
                                                         {"senderId", "WebServer"},
                                                         {"category", "PaperFeedCommandId"}}))
            .toJson();
    };
    QJsonObject table =
        TestBus::defaultTableWith({{"RewindPaper", "category", "PaperFeedCommandId"},
                                   {"FeedLines", "function", "notImplemented"}});
    table.remove("LoadPaper");
    const QString reloaded =
        QStringLiteral("Command table reloaded: %1 commands").arg(table.size() - 6);
    QVERIFY(m_bus.watchStatus());
    QVERIFY(reload(QJsonDocument(table).toJson(), reloaded).contains(reloaded));
    const QVariantMap loaded = m_bus.status();
    QCOMPARE(loaded.value("TableCommands").toInt(), table.size() - 6);
    QCOMPARE(loaded.value("TablePath"), QVariant(m_bus.stateDirectory() + "/commandTable.json"));
    QTRY_VERIFY(!m_bus.statusChanges.isEmpty());
    QCOMPARE(m_bus.statusChanges.last().value("TableLoadedAt"), loaded.value("TableLoadedAt"));
    QVERIFY(paperFeed().contains("RewindPaper") && !paperFeed().contains("LoadPaper"));
    // The lane runs with the new table: the command no longer reaches its sibling.
    const int before = m_service->output().size();
    QCOMPARE(m_bus.process(TestBus::command(202, {3})).value("resultId"), QVariant("Failure"));
    QVERIFY(m_service->waitForOutput("Command not implemented"));
    QVERIFY(!m_service->output().mid(before).contains("feedLines"));

    const QString kept = reload("[]", "The command table in use stays.");
    QVERIFY2(kept.contains("not a JSON object") && kept.contains("in use stays"), qPrintable(kept));
    // The refusal is told with its cause, and the table in use keeps its time.
    const QVariantMap refused = m_bus.status();
    QVERIFY2(refused.value("TableRefusal").toString().endsWith("not a JSON object"),
             qPrintable(refused.value("TableRefusal").toString()));
    QCOMPARE(refused.value("TableLoadedAt"), loaded.value("TableLoadedAt"));
    QCOMPARE(refused.value("TableCommands"), loaded.value("TableCommands"));
    QTRY_COMPARE(m_bus.statusChanges.last().value("TableRefusal"), refused.value("TableRefusal"));
    QVERIFY(paperFeed().contains("RewindPaper") && ServiceWatcher::isReady(readinessName));
    m_bus.setCommandTable(TestBus::defaultCommandTable());
    expectStillServing();
}

// Signals in bursts far beyond what the kernel queues, each one a reload: the service answers
// in between, reloads a few times rather than 20,000, and still stops as asked.
void ServiceTest::signalBurstsNeverHangIt()
{
    const int before = m_service->output().size();
    for (int i = 0; i < 20000; ++i) {
        m_service->sendSignal(SIGHUP);
    }
    expectStillServing();
    QVERIFY(m_service->waitForOutput("Command table reloaded"));
    QVERIFY(m_service->output().mid(before).count("Command table reloaded") < 20000);
    for (int i = 0; i < 5000; ++i) {
        m_service->sendSignal(SIGHUP);
        m_service->sendSignal(SIGTERM);
    }
    QVERIFY2(m_service->waitForFinished(10000), qPrintable(m_service->output().right(2000)));
    QCOMPARE(m_service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_service->exitCode(), 0);
    QVERIFY(!ServiceWatcher::isReady(readinessName));
}

void ServiceTest::waitsForEverySiblingWithoutSpinningThenTheTable()
{
    stopService();
    // No table until the last sibling comes: a service that read it earlier would fail.
    m_bus.removeCommandTable();
    // A stale announcement from an earlier run: the service withdraws it before anything else.
    ServiceWatcher::setReady(readinessName, true);
    m_bus.markSiblingsReady();
    const QString last = TestBus::siblingReadinessNames.last();
    ServiceWatcher::setReady(last, false);
    // A notification socket as systemd opens it for a unit with a watchdog.
    QTemporaryDir notifyDirectory;
    const int notify = boundSocket(SOCK_DGRAM | SOCK_NONBLOCK, notifyDirectory.filePath("notify"));
    qputenv("NOTIFY_SOCKET", QFile::encodeName(notifyDirectory.filePath("notify")));
    qputenv("WATCHDOG_USEC", "400000");
    m_service = m_bus.startService();
    qunsetenv("NOTIFY_SOCKET");
    qunsetenv("WATCHDOG_USEC");

    QVERIFY2(m_service->waitForOutput(QStringLiteral("Waiting for sibling services: %1").arg(last)),
             qPrintable(m_service->output()));
    QVERIFY(!ServiceWatcher::isReady(readinessName));
    // The gate's CPU while a sibling is missing, against 5 % of a core.
    const double before = cpuSeconds(m_service->processId());
    QVERIFY(!m_bus.waitForBusName(TestBus::serviceName, 2000));
    const double used = cpuSeconds(m_service->processId()) - before;
    QVERIFY2(used < 0.1, qPrintable(QStringLiteral("%1 s of CPU in 2 s").arg(used)));

    m_bus.setCommandTable(TestBus::defaultCommandTable());
    ServiceWatcher::setReady(last, true);
    QVERIFY(m_service->waitForOutput(QStringLiteral("Sibling service ready: %1").arg(last)));
    QVERIFY2(m_bus.waitForReady(readinessName), qPrintable(m_service->output()));
    // The name must already be held when readiness shows.
    QVERIFY(m_bus.connection().interface()->isServiceRegistered(TestBus::serviceName).value());
    QVERIFY(m_service->output().contains("Command table loaded: 30 commands"));
    // Fed at half the time-out, over and over; systemd's status line says what the service
    // waited for, then what it serves without the siblings, which are announced but absent.
    QStringList notices;
    QTRY_VERIFY2_WITH_TIMEOUT(
        [&] {
            char message[256];
            for (ssize_t size; (size = ::recv(notify, message, sizeof message, 0)) > 0;) {
                notices << QString::fromUtf8(message, int(size));
            }
            return notices.count("WATCHDOG=1") >= 3;
        }(),
        qPrintable(m_service->output()), 10000);
    QCOMPARE(notices.filter("STATUS="),
             QStringList({"STATUS=Waiting for " + last,
                          "STATUS=Serving 30 commands; print-manager not on the bus; "
                          "configuration-manager not on the bus; document-manager not on the "
                          "bus; speech not on the bus"}));
    ::close(notify);
}

void ServiceTest::leavesNoReadinessBehind_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("table");
    // What the service meets: a bus that is "none" (cannot be reached) or "refusing" it its
    // name, "readiness blocked" (a directory where its announcement goes, which neither writing
    // nor removing replaces), or a "sibling missing" that keeps it waiting.
    QTest::addColumn<QString>("setting");
    // Done to the serving (or waiting) service, in order: "SIGTERM", "SIGHUP", or "kill bus" to
    // take the bus daemon away from it and from a second instance.
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<int>("exitCode");
    // Lines as the journal gets them: <3> error, <6> info, <7> debug.
    QTest::addColumn<QStringList>("lines");

    const QByteArray table = TestBus::defaultCommandTable();
    const QString registered =
        QStringLiteral("<7>Successfully registered on DBus: \"%1\"").arg(TestBus::serviceName);
    const QString readFailed = QStringLiteral("<3>CommandHandler::initialize ERROR: reading");
    const QString why = QStringLiteral("<3>CommandHandler::initialize ERROR: ");
    // Help and version, in every form Qt's parser reads, leave the bus and the registry alone,
    // an unknown argument beside them too. Version goes first, as in Qt: a v asks for it.
    const QString version = QStringLiteral("command-handler " COMMAND_HANDLER_VERSION);
    for (const QString asked :
         {"--unknown --help", "--help-all", "-x -?", "-xh", "--version", "-hv"}) {
        QTest::newRow(qPrintable(asked))
            << asked.split(' ') << table << QString() << QStringList() << 0
            << QStringList{asked.contains('v') ? version : "Usage:"};
    }
    const auto row = [&](const char* name, const QByteArray& rowTable, const QString& setting,
                         const QStringList& actions, int exitCode, const QStringList& lines) {
        QTest::newRow(name) << QStringList() << rowTable << setting << actions << exitCode << lines;
    };
    const QString stopping = QStringLiteral("<6>Stopping on signal 15");
    row("SIGTERM", table, {}, {"SIGTERM"}, 0, {registered, stopping});
    row("SIGHUP while waiting for a sibling", table, "sibling missing", {"SIGHUP", "SIGTERM"}, 0,
        {"<6>SIGHUP ignored: the command table is not loaded yet", stopping});
    row("bus unreachable", table, "none", {}, 1, {"<3>Unable to connect to system-bus!"});
    row("bus refuses the name", table, "refusing", {}, 1,
        {"<3>Unable to register Service:  \"Connection"});
    row("readiness cannot be written", table, "readiness blocked", {}, 1,
        {"<3>The readiness announcement of command-handler cannot be withdrawn from",
         "<3>The readiness of command-handler cannot be announced in"});
    row("table not json", QByteArray("{\n  \"FeedLines\": {\n    \"category\" 2\n"), {}, {}, 1,
        {registered, readFailed, why + "line 3, column 16: missing name separator"});
    // Opened, it would hold the start until some writer came.
    row("table a pipe", table, "table pipe", {}, 1, {readFailed, why + "not a regular file"});
    // Sent while the service connects to a bus that takes the connection and says nothing,
    // long before it could be ready: caught, and obeyed once the bus has gone.
    row("SIGTERM while starting", table, "silent bus", {"SIGTERM on connecting"}, 0, {stopping});
    row("bus daemon killed", table, {}, {"kill bus"}, 1,
        {"<3>Lost the connection to the system bus!"});
}

// A bus of the project's configuration whose policy denies the service its name.
QString ServiceTest::startRefusingBus()
{
    const QString config = m_bus.stateDirectory() + "/refusing-bus.conf";
    writeFile(config,
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><include>" BUS_CONFIG_FILE "</include><policy context=\"mandatory\">"
              "<deny own=\"com.vellorn.CommandHandler\"/></policy></busconfig>\n");
    auto* daemon = new ServiceProcess(this);
    daemon->setProcessChannelMode(QProcess::SeparateChannels);
    daemon->start("dbus-daemon", {"--config-file=" + config, "--print-address", "--nofork"});
    return daemon->waitForOutput("\n") ? daemon->output().trimmed() : QString();
}

void ServiceTest::leavesNoReadinessBehind()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, table);
    QFETCH(QString, setting);
    QFETCH(QStringList, actions);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);

    stopService();
    m_bus.setCommandTable(table);
    // Left by an earlier run that died: withdrawn before anything else.
    ServiceWatcher::setReady(readinessName, true);
    qputenv("QT_MESSAGE_PATTERN", unitMessagePattern());
    const QString blocked = m_bus.watcherDirectory() + "/" + readinessName + ".ready";
    const auto restore = qScopeGuard([this, blocked] {
        m_bus.markSiblingsReady();
        QDir(blocked).removeRecursively();
    });
    if (setting == QLatin1String("none")) {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(m_bus.stateDirectory()) + "/none");
    } else if (setting == QLatin1String("refusing")) {
        const QString address = startRefusingBus();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    } else if (setting == QLatin1String("readiness blocked")) {
        QFile::remove(blocked);
        QVERIFY(QDir().mkpath(blocked + "/in-the-way"));
    } else if (setting == QLatin1String("sibling missing")) {
        ServiceWatcher::setReady(TestBus::siblingReadinessNames.last(), false);
    } else if (setting == QLatin1String("table pipe")) {
        m_bus.removeCommandTable();
        QCOMPARE(::mkfifo(QFile::encodeName(m_bus.stateDirectory() + "/commandTable.json"), 0600),
                 0);
    }
    // A bus that takes a connection and never says a word, until it goes.
    const QString silentBus = m_bus.stateDirectory() + "/silent-bus";
    const int listening =
        setting == QLatin1String("silent bus") ? boundSocket(SOCK_STREAM, silentBus) : -1;
    if (listening >= 0) {
        ::listen(listening, 1);
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(silentBus));
    }
    m_service = m_bus.startService(arguments);
    if (actions.startsWith("SIGTERM on connecting")) {
        actions.removeFirst();
        pollfd incoming{listening, POLLIN, 0};
        QCOMPARE(::poll(&incoming, 1, 10000), 1);
        const int accepted = ::accept(listening, nullptr, nullptr);
        // Pending once sent: the next thread of the service to run handles it before anything
        // else, so the order of the two steps holds without a wait. The end of the connection
        // ends the service's wait for an answer.
        m_service->terminate();
        ::close(accepted);
        ::close(listening);
    }
    qunsetenv("QT_MESSAGE_PATTERN");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address().toUtf8());

    if (setting == QLatin1String("sibling missing")) {
        QVERIFY(m_service->waitForOutput("Waiting for sibling services"));
    } else if (!actions.isEmpty()) {
        // The stale announcement is gone before the name is taken.
        QVERIFY(m_bus.waitForBusName(TestBus::serviceName));
        QVERIFY(m_bus.waitForReady(readinessName));
    }
    ServiceProcess* second = nullptr;
    for (const QString& action : actions) {
        if (action == QLatin1String("SIGTERM")) {
            m_service->terminate();
        } else if (action == QLatin1String("SIGHUP")) {
            m_service->sendSignal(SIGHUP);
            QVERIFY(m_service->waitForOutput("SIGHUP"));
        } else {
            second = m_bus.startService();
            QVERIFY(second->waitForOutput("Service-name already in use."));
            m_bus.daemon()->kill();
        }
    }
    // It may have ended already while the test waited for something else.
    QVERIFY2(m_service->state() == QProcess::NotRunning || m_service->waitForFinished(10000),
             qPrintable(m_service->output()));
    // Gone before the registry is read; the guard mends it on a failed check too.
    QDir(blocked).removeRecursively();
    if (second != nullptr) {
        // Connected to nothing, a second instance serves nobody, not even its console's commands.
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitCode(), 1);
        QVERIFY2(second->output().contains("Lost the connection to the system bus!"),
                 qPrintable(second->output()));
    }
    const QString output = m_service->output();
    QCOMPARE(m_service->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_service->exitCode(), exitCode);
    QCOMPARE(ServiceWatcher::isReady(readinessName), !arguments.isEmpty());
    for (const QString& line : lines) {
        const QRegularExpression start('^' + QRegularExpression::escape(line),
                                       QRegularExpression::MultilineOption);
        QVERIFY2(output.contains(start), qPrintable(output));
    }
}

// The last line, unfinished, comes with the end itself and runs a command that takes a second on
// its lane: the console is closed once it is done, not when the end is read.
void ServiceTest::consoleSaysOnceThatItIsClosedWhenItsLastCommandIsDone()
{
    stopService();
    ServiceProcess* speech = m_bus.startSibling("speech");
    // The simulator withdraws its readiness when it stops; the service's readiness gate must
    // still find every sibling ready afterwards.
    const auto stopSpeech = qScopeGuard([this, speech] {
        speech->stop();
        m_bus.markSiblingsReady();
    });
    QVERIFY(m_bus.waitForReady(TestBus::readinessNameOf("speech")));
    QVERIFY(m_bus.waitForBusName(TestBus::busNameOf("speech")));
    const QString speechName = TestBus::busNameOf("speech");
    QDBusMessage delay = QDBusMessage::createMethodCall(speechName, "/", speechName, "setDelay");
    QCOMPARE(m_bus.call(delay << 1000).type(), QDBusMessage::ReplyMessage);

    qputenv("QT_MESSAGE_PATTERN", unitMessagePattern());
    m_service = m_bus.startService();
    qunsetenv("QT_MESSAGE_PATTERN");
    QVERIFY(m_service->waitForOutput("Successfully registered"));
    m_service->write("HELP 102\nC 2\nC 500 slow");
    m_service->closeWriteChannel();

    // One info line for the journal, however long the service goes on.
    const QString closed = QStringLiteral("\n<6>Console closed (end of input); the service goes "
                                          "on serving the bus until it is stopped.\n");
    QVERIFY2(m_service->waitForOutput(closed), qPrintable(m_service->output()));
    expectStillServing();
    const QString output = m_service->output();
    QCOMPARE(output.count(closed), 1);
    for (const char* answer : {"== Done ==", "Command 102 - Info", "- Menu =="}) {
        const int found = output.indexOf(answer);
        QVERIFY2(found > 0 && found < output.indexOf(closed), qPrintable(output));
    }
}

QTEST_GUILESS_MAIN(ServiceTest)
#include "tst_service.moc"
