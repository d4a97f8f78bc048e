// Device commands end to end: a bus client, the real service binary and the four sibling
// simulator processes on a private bus. What a command did is read back from the simulator's
// log of the calls it received. A sibling is stalled with SIGSTOP; its lane holds at most
// laneCapacity (3) requests here.
#include "Category.h"
#include "ServiceProcess.h"
#include "Siblings.h"
#include "TestBus.h"
#include "TestTools.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <csignal>
#include <functional>

#include <unistd.h>

namespace {
constexpr int laneCapacity = 3;
constexpr int clientCount = 4;
constexpr int inFlightPerClient = 16;
const QVariantMap failure{{"resultId", "Failure"}, {"errorId", "Undefined"}};
const QVariantMap catalogue{{"commandId", "GetCommandCategories"}, {"senderId", "Speech"}};

QVariantMap command(int subCommand, const QVariantList& args = {})
{
    return TestBus::command(subCommand, args);
}

// Stops a sibling process until the guard goes. Only by its own process id: kill(0) would stop
// this whole process group, the test runner with it.
auto stall(ServiceProcess* sibling)
{
    const auto pid = static_cast<pid_t>(qMax<qint64>(sibling->processId(), 0));
    ::kill(pid > 0 ? pid : INT_MAX, SIGSTOP);
    return qScopeGuard([pid] { ::kill(pid > 0 ? pid : INT_MAX, SIGCONT); });
}
} // namespace

class DeviceCommandsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void commandReachesItsSibling_data();
    void commandReachesItsSibling();
    void failsWithOneLogLine_data();
    void failsWithOneLogLine();
    void siblingKilledAndRestarted_data();
    void siblingKilledAndRestarted();
    void stalledSiblingDelaysOnlyItsOwnLane();
    void consoleInputWaitsWhileACommandRuns();
    // These stop the service.
    void stopAnswersEveryWaitingRequest();
    void loadWithASiblingRestarted();

private:
    int runMix(int requestsEach, const std::function<void(int)>& onProgress);
    bool setFault(const QString& sibling, const QString& mode) const;
    quint64 refusedUndefined() const;
    // Whether a PropertiesChanged of the status has shown the sibling on the bus or off it.
    bool announced(const QString& sibling, bool onBus) const;

    TestBus m_bus;
    QTemporaryDir m_notifyDirectory;
    ServiceProcess* m_service = nullptr;
    QString m_faultyName;
    QVector<QVariantMap> m_mix;
    QVector<QVariantMap> m_mixReplies;
};

void DeviceCommandsTest::initTestCase()
{
    QVERIFY(m_bus.start());
    QVERIFY(m_bus.startSiblings());
    qputenv("QT_LOGGING_RULES", "PrintManager.debug=true;DocumentManager.debug=true;"
                                "ConfigurationManager.debug=true;Speech.debug=true");
    qputenv("COMMAND_HANDLER_LANE_CAPACITY", QByteArray::number(laneCapacity));
    // systemd's status line with every sibling there and idle.
    const int notify = boundSocket(SOCK_DGRAM | SOCK_NONBLOCK, m_notifyDirectory.filePath("n"));
    qputenv("NOTIFY_SOCKET", QFile::encodeName(m_notifyDirectory.filePath("n")));
    m_service = m_bus.startService();
    qunsetenv("NOTIFY_SOCKET");
    QVERIFY(m_bus.waitForBusName(TestBus::serviceName));
    QVERIFY(m_bus.watchStatus());
    QByteArray status;
    QTRY_VERIFY([&] {
        char message[256];
        const ssize_t size = status.isEmpty() ? ::recv(notify, message, sizeof message, 0) : -1;
        status += QByteArray(message, int(qMax<ssize_t>(size, 0)));
        return !status.isEmpty();
    }());
    QCOMPARE(status, QByteArray("STATUS=Serving 30 commands"));
    ::close(notify);
}

namespace {
// One row per device command of the default table, named after the call the simulator logs.
void addCall(const QVariantMap& request, const QString& siblingCall, QVariantMap details = {},
             const QString& logged = {})
{
    details.insert("resultId", "Success");
    details.insert("errorId", "Undefined");
    // Named after the call and the arguments as sent, which differ for the same call.
    QStringList args;
    for (const QVariant& arg : request.value("args").toList()) {
        args << QStringLiteral("%1 %2").arg(arg.typeName(), arg.toString());
    }
    QTest::addRow("%s <- %s", qPrintable(siblingCall), qPrintable(args.join(", ")))
        << request << siblingCall << details << logged;
}
} // namespace

void DeviceCommandsTest::commandReachesItsSibling_data()
{
    QTest::addColumn<QVariantMap>("request");
    QTest::addColumn<QString>("siblingCall");
    QTest::addColumn<QVariantMap>("reply");
    // A line the service logs, or none.
    QTest::addColumn<QString>("logged");

    const QVariantMap groups{
        {"Embossing",
         QVariantMap{{"dotStrength", "normal"}, {"duplex", "true"}, {"lineSpacing", "1"}}},
        {"General", QVariantMap{{"deviceName", "Embosser"}, {"language", "en"}, {"units", "mm"}}},
        {"Speech", QVariantMap{{"rate", "50"}, {"voice", "default"}, {"volume", "80"}}}};
    const QVariantMap settings{{"Embossing/dotStrength", "normal"},
                               {"Embossing/duplex", "true"},
                               {"Embossing/lineSpacing", "1"},
                               {"General/deviceName", "Embosser"},
                               {"General/language", "en"},
                               {"General/units", "mm"},
                               {"Speech/rate", "50"},
                               {"Speech/voice", "default"},
                               {"Speech/volume", "80"}};
    const auto details = [](const QString& key, const QVariant& value) {
        return QVariantMap{{"detailsMap", QVariantMap{{key, value}}}};
    };
    addCall(command(100), "configuration-manager: getSettings()", settings,
            "Embossing/dotStrength : normal\n");
    addCall(command(101), "configuration-manager: getSettingsGroups()", {{"detailsMap", groups}},
            "\033[1;4m Speech \n\033[0m");
    addCall(command(102, {"language", "de"}),
            "configuration-manager: setSetting(\"language\", \"de\")",
            {{"group", "General"}, {"name", "language"}, {"value", "de"}, {"previous", "en"}},
            "previous : en\n");
    addCall(command(103, {"Embossing"}), "configuration-manager: getSettingsGroup(\"Embossing\")",
            details("Embossing", groups.value("Embossing")));
    addCall(command(104), "configuration-manager: resetSettings()");
    addCall(command(200), "print-manager: loadPaper()");
    addCall(command(201), "print-manager: ejectPaper()");
    addCall(command(202, {7}), "print-manager: feedLines(7)");
    // False or 0 is an answer, not a failure.
    addCall(command(203), "print-manager: isPaperLoaded()", details("isPaperLoaded", false));
    addCall(command(204), "print-manager: paperPosition()", details("paperPosition", 0));
    addCall(command(205, {120}), "print-manager: setPaperLength(120)",
            details("setPaperLength", true));
    // The log lists each document's fields, read from the maps as the bus left them.
    const QVariantList documents{
        QVariantMap{{"id", "doc-1"}, {"name", "Welcome letter"}, {"pages", 2}},
        QVariantMap{{"id", "doc-2"}, {"name", "Train timetable"}, {"pages", 5}},
        QVariantMap{{"id", "doc-3"}, {"name", "Recipe book"}, {"pages", 12}}};
    addCall(command(300), "document-manager: documents()",
            {{"detailsListMap", QVariantMap{{"documents", documents}}}},
            "\t \"name\" : \"Recipe book\"\n\t \"pages\" : \"12\"");
    addCall(command(301, {"doc-2"}), "document-manager: selectDocument(\"doc-2\")");
    // Not the selected one, which embossing below needs.
    addCall(command(302, {"doc-3"}), "document-manager: deleteDocument(\"doc-3\")",
            details("deleteDocument", true));
    addCall(command(400), "document-manager: startEmbossing()");
    addCall(command(401), "document-manager: pauseEmbossing()");
    addCall(command(402), "document-manager: resumeEmbossing()");
    addCall(command(403), "document-manager: cancelEmbossing()");
    addCall(command(404, {4}), "document-manager: setCopies(4)");
    addCall(command(303), "document-manager: deleteAllDocuments()",
            details("deleteAllDocuments", true));
    addCall(command(500, {"Hello there"}), "speech: speak(\"Hello there\")");
    addCall(command(501), "speech: stop()");
    // Numbers and states typed at the console arrive as text.
    addCall(command(502, {"70"}), "speech: setRate(70)");
    addCall(command(503, {40}), "speech: setVolume(40)");
    addCall(command(600, {false}), "print-manager: setIPCState(false)",
            {{"enabled", false}, {"previous", false}}, "enabled : false\n");
    addCall(command(600, {"1"}), "print-manager: setIPCState(true)",
            {{"enabled", true}, {"previous", false}});
    const auto test = [](int number, const QString& name, int parameter) {
        return QVariantMap{
            {"test", number}, {"name", name}, {"parameter", parameter}, {"result", "passed"}};
    };
    addCall(command(601), "print-manager: runTestCmd(601, 0)", test(601, "motor", 0),
            "name = motor\n");
    addCall(command(602, {5}), "print-manager: runTestCmd(602, 5)", test(602, "head", 5));
}

void DeviceCommandsTest::commandReachesItsSibling()
{
    QFETCH(QVariantMap, request);
    QFETCH(QString, siblingCall);
    QFETCH(QVariantMap, reply);
    QFETCH(QString, logged);
    ServiceProcess* sibling = m_bus.sibling(siblingCall.section(':', 0, 0));
    const int siblingBefore = sibling->output().size();
    const int serviceBefore = m_service->output().size();

    QCOMPARE(m_bus.process(request), reply);
    QTRY_VERIFY2(sibling->output().mid(siblingBefore).contains(siblingCall),
                 qPrintable(sibling->output().mid(siblingBefore)));
    if (!logged.isEmpty()) {
        QTRY_VERIFY2(m_service->output().mid(serviceBefore).contains(logged),
                     qPrintable(m_service->output().mid(serviceBefore)));
    }
}

quint64 DeviceCommandsTest::refusedUndefined() const
{
    return m_bus.status().value("Refused").toMap().value("Undefined").toULongLong();
}

bool DeviceCommandsTest::setFault(const QString& sibling, const QString& mode) const
{
    // By its unique name: an absent sibling has given up its well-known one.
    const auto call = [&](const char* method, const QVariant& argument) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(m_faultyName, "/", TestBus::busNameOf(sibling), method);
        return m_bus.call(message << argument);
    };
    // Slow is a delay beyond the call time-out; every other mode ends it.
    call("setDelay", mode == "slow" ? 3000 : 0);
    return mode == "slow" || call("setFault", mode).arguments().value(0).toBool();
}

void DeviceCommandsTest::failsWithOneLogLine_data()
{
    QTest::addColumn<QString>("sibling");
    // The sibling's fault ("slow": it answers after the call time-out), or none: then the
    // request never reaches it.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QVariantMap>("request");
    QTest::addColumn<QString>("logLine");
    // What a request that asks why is told, from its start.
    QTest::addColumn<QString>("errorText");

    const QString callFailed = QStringLiteral("SiblingLink::call ERROR: ");
    // A failed sibling call is told as the line the client library logs for it.
    const auto row = [&](const char* name, const char* sibling, const QString& fault,
                         const QVariantMap& request, const QString& logLine,
                         QString errorText = {}) {
        const QString label = Category::commandLabel(request.value("subCommandId").toInt());
        if (errorText.isEmpty()) {
            errorText = label + ": " + logLine.mid(callFailed.size());
        } else {
            errorText = label + ": " + errorText;
        }
        QTest::newRow(name) << sibling << fault << request << logLine << errorText;
    };
    const QString notPassedOn = QStringLiteral(" ERROR: The answer of %1 is not passed on: it ");
    row("not on the bus", "speech", "absent", command(500, {"Hello"}),
        callFailed + "com.vellorn.Speech.speak failed: not on the bus");
    row("no answer in time", "speech", "slow", command(501),
        callFailed + "com.vellorn.Speech.stop failed: no answer within 2000 ms");
    row("error answer", "print-manager", "error", command(203),
        callFailed + "com.vellorn.PrintManager.isPaperLoaded failed: com.vellorn.Error.Failed "
                     "simulated failure");
    // Refused before the lane, in the words of the client that would refuse it there.
    row("argument of another type", "print-manager", {}, command(202, {"three"}),
        "CommandHandler::checkArgumentValues ERROR: com.vellorn.PrintManager.feedLines failed: "
        "argument 1 (three) is no int",
        "com.vellorn.PrintManager.feedLines failed: argument 1 (three) is no int");
    row("answer nested as deep as the bus carries", "document-manager", "nested", command(300),
        "handleDocumentCommands" + notPassedOn.arg("documents") +
            "is nested deeper than the bus carries.",
        "The answer of documents is not passed on: it is nested deeper than the bus carries.");
    row("answer as large as the bus carries", "configuration-manager", "large", command(100),
        "handleConfigurationCommands" + notPassedOn.arg("getSettings"),
        "The answer of getSettings is not passed on: it ");
    row("answer holding a file descriptor", "print-manager", "fd", command(601),
        "handleIpcCommands" + notPassedOn.arg("runTestCmd") + "holds a unix file descriptor.",
        "The answer of runTestCmd is not passed on: it holds a unix file descriptor.");
    // The refusals that need no sibling are the handler's in-process test's; these show that
    // they never reach the sibling, and a reason that names the refused value.
    row("state maybe", "print-manager", {}, command(600, {"maybe"}),
        "CommandHandler::handleIpcCommands ERROR: IPCState takes exactly one argument: true, "
        "false, 1 or 0.",
        "\"maybe\" is no boolean");
    row("arguments missing", "print-manager", {}, command(202),
        "CommandHandler::handlePaperFeedCommands ERROR: \"args key not found. Please provide the "
        "parameter list.\"",
        "takes 1 argument(s), the request has no args");
}

void DeviceCommandsTest::failsWithOneLogLine()
{
    QFETCH(QString, sibling);
    QFETCH(QString, fault);
    QFETCH(QVariantMap, request);
    QFETCH(QString, logLine);
    QFETCH(QString, errorText);
    ServiceProcess* process = m_bus.sibling(sibling);
    const int before = process->output().size();
    const int logged = m_service->output().size();
    m_faultyName =
        m_bus.connection().interface()->serviceOwner(TestBus::busNameOf(sibling)).value();
    const bool faulty = !fault.isEmpty();
    const quint64 refusedBefore = refusedUndefined();
    QVERIFY(!faulty || setFault(sibling, fault));
    // A sibling that has left the bus shows so in the status.
    if (fault == "absent") {
        QTRY_COMPARE(m_bus.statusOf("Siblings", sibling).value("OnBus"), QVariant(false));
    }
    auto normal = qScopeGuard([&] {
        if (faulty) {
            setFault(sibling, "normal");
        }
    });

    // A caller that does not ask why gets exactly the two entries it always got.
    QString error;
    QCOMPARE(m_bus.process(request, &error), failure);
    QCOMPARE(error, QString());
    QTRY_VERIFY2(m_service->output().mid(logged).contains(logLine),
                 qPrintable(m_service->output().mid(logged)));
    QCOMPARE(m_service->output().mid(logged).count("ERROR:"), 1);
    QVariantMap asking = request;
    asking.insert("errorText", true);
    QVariantMap told = m_bus.process(asking);
    const QString reason = told.take("errorText").toString();
    QVERIFY2(reason.startsWith(errorText), qPrintable(reason));
    QCOMPARE(told, failure);
    // The status keeps a failure on the lane word for word, and counts one refused before it.
    if (faulty) {
        const QVariantMap lane = m_bus.statusOf("Lanes", sibling);
        QCOMPARE(lane.value("LastFailure").toString(), reason);
        QVERIFY(lane.value("LastFailureAt").toULongLong() > 0);
    } else {
        QCOMPARE(refusedUndefined(), refusedBefore + 2);
    }
    QVERIFY(!faulty || setFault(sibling, "normal"));
    normal.dismiss();
    // The service still serves; a refused request never reached the sibling, while the next one
    // shows up in its output.
    const QMap<QString, QPair<int, QString>> probes{
        {"print-manager", {601, "runTestCmd(601, 0)"}},
        {"configuration-manager", {100, "getSettings()"}},
        {"document-manager", {300, "documents()"}},
        {"speech", {501, "stop()"}}};
    const auto [probe, probeCall] = probes.value(sibling);
    QCOMPARE(m_bus.process(command(probe)).value("resultId"), QVariant("Success"));
    if (fault.isEmpty()) {
        QTRY_VERIFY(process->output().mid(before).contains(probeCall));
        const QString calls = process->output().mid(before);
        QVERIFY2(calls.count(QRegularExpression(": \\w+\\(")) == 1, qPrintable(calls));
    }
}

void DeviceCommandsTest::siblingKilledAndRestarted_data()
{
    QTest::addColumn<QString>("sibling");
    QTest::addColumn<QVariantMap>("request");
    QTest::newRow("print-manager") << "print-manager" << command(202, {7});
    QTest::newRow("document-manager") << "document-manager" << command(300);
    QTest::newRow("configuration-manager") << "configuration-manager" << command(100);
    QTest::newRow("speech") << "speech" << command(500, {"Hi"});
}

void DeviceCommandsTest::siblingKilledAndRestarted()
{
    QFETCH(QString, sibling);
    QFETCH(QVariantMap, request);
    // Another sibling's command: document-manager's while print-manager is away, else
    // print-manager's.
    const QVariantMap otherSibling = command(sibling == "print-manager" ? 300 : 203);
    // The link's own log line, with or without a full stop.
    const QRegularExpression disconnected("Disconnected from " + sibling + "\\.?\n");
    const QRegularExpression connected("Connected to " + sibling + "\\.?\n");
    QCOMPARE(m_bus.process(request).value("resultId"), QVariant("Success"));
    m_bus.statusChanges.clear();
    m_bus.sibling(sibling)->stop();
    QTRY_VERIFY2(m_service->output().contains(disconnected), qPrintable(m_service->output()));
    QTRY_VERIFY(announced(sibling, false));

    // The service keeps answering: the sibling's commands fail, the others are carried out.
    QCOMPARE(m_bus.process(request), failure);
    QCOMPARE(m_bus.process(otherSibling).value("resultId"), QVariant("Success"));

    const int connectionsBefore = m_service->output().count(connected);
    m_bus.startSibling(sibling);
    QVERIFY(m_bus.waitForReady(TestBus::readinessNameOf(sibling)));
    QTRY_VERIFY(m_service->output().count(connected) > connectionsBefore);
    QTRY_VERIFY(announced(sibling, true));
    QCOMPARE(m_bus.process(request).value("resultId"), QVariant("Success"));
}

bool DeviceCommandsTest::announced(const QString& sibling, bool onBus) const
{
    for (const QVariantMap& change : m_bus.statusChanges) {
        for (const QVariant& entry : change.value("Siblings").toList()) {
            const QVariantMap map = entry.toMap();
            if (map.value("Name") == sibling && map.value("OnBus") == onBus) {
                return true;
            }
        }
    }
    return false;
}

void DeviceCommandsTest::stalledSiblingDelaysOnlyItsOwnLane()
{
    m_bus.clearSent();
    ServiceProcess* printManager = m_bus.sibling("print-manager");
    const int before = printManager->output().size();
    {
        const auto stalled = stall(printManager);
        // Bus and console requests share the lane in the order they came. A catalogue request
        // is answered at once, after the command before it on the same connection was queued.
        m_bus.send("11", command(202, {11}));
        QCOMPARE(m_bus.process(catalogue).value("resultId"), QVariant("Success"));
        // So is an argument that does not convert: not behind the stalled call.
        m_bus.send("three", command(202, {"three"}));
        QTRY_VERIFY(m_bus.completed.contains("three"));
        QVERIFY(!m_bus.completed.contains("11"));
        // A console line that comes meanwhile waits for the running one.
        m_service->write("C 202 12\nHELP 6\n");
        QVERIFY(m_service->waitForOutput("========== 202 - "));
        m_bus.send("13", command(202, {13}));
        QVERIFY(!m_bus.process(catalogue).isEmpty());
        // One beyond the lane's capacity is refused at once.
        m_bus.send("14", command(202, {14}));
        QTRY_COMPARE(m_bus.completed, QStringList({"three", "14"}));
        // The status shows the stalled command, what waits behind it and the refusal.
        const QVariantMap lane = m_bus.statusOf("Lanes", "print-manager");
        QCOMPARE(lane.value("Command"), QVariant("FeedLines"));
        QCOMPARE(lane.value("CommandNumber").toInt(), 202);
        QVERIFY(m_bus.completed.contains("11") ||
                lane.value("Waiting").toInt() == laneCapacity - 1);
        QVERIFY(lane.value("BusySince").toULongLong() > 0);
        QVERIFY(lane.value("RunningSince").toULongLong() >= lane.value("BusySince").toULongLong());
        QVERIFY(lane.value("NotRunFull").toULongLong() >= 1);
        m_bus.send("rejected", command(4711));
        m_bus.send("document", command(300));
        m_bus.send("configuration", command(100));
        m_bus.send("speech", command(502, {40}));
        QTRY_COMPARE(m_bus.completed.size(), m_bus.sent() - 2);
    }
    QTRY_COMPARE(m_bus.completed.size(), m_bus.sent());
    QCOMPARE(m_bus.completed.mid(m_bus.sent() - 2), QStringList({"11", "13"}));
    QCOMPARE(m_bus.replies.value("14"), failure);
    QCOMPARE(m_bus.replies.value("13").value("resultId"), QVariant("Success"));
    QCOMPARE(m_bus.replies.value("rejected").value("errorId"), QVariant("InvalidCmd"));
    QCOMPARE(m_bus.replies.value("speech").value("resultId"), QVariant("Success"));
    QTRY_COMPARE(m_service->output().count("== Done =="), 1);
    QVERIFY(m_service->waitForOutput("Command 6 - Info"));
    QVERIFY(m_service->output().indexOf("== Done ==") <
            m_service->output().indexOf("Command 6 - Info"));
    const QString fed = printManager->output().mid(before);
    const int first = fed.indexOf("feedLines(11)");
    const int second = fed.indexOf("feedLines(12)");
    QVERIFY2(first >= 0 && first < second && second < fed.indexOf("feedLines(13)"),
             qPrintable(fed));
    QVERIFY(!fed.contains("feedLines(14)"));
}

// A second instance for its console, fed by a writer far faster than a slow sibling takes the
// lines: the lines wait in the pipe, not in the service's memory.
void DeviceCommandsTest::consoleInputWaitsWhileACommandRuns()
{
    m_faultyName =
        m_bus.connection().interface()->serviceOwner(TestBus::busNameOf("speech")).value();
    QVERIFY(setFault("speech", "slow"));
    auto normal = qScopeGuard([this] { setFault("speech", "normal"); });
    QProcess writer;
    ServiceProcess console;
    writer.setStandardOutputProcess(&console);
    writer.start("yes", {"C 501"});
    console.start(QStringLiteral(COMMAND_HANDLER_BINARY), QStringList());
    QVERIFY(console.waitForOutput("========== 501 - "));
    const qint64 before = console.residentKiB();
    // The next line is taken once the first call has given up on the slow sibling.
    QTRY_VERIFY_WITH_TIMEOUT(console.output().count("========== 501 - ") >= 2, 10000);
    const qint64 grown = console.residentKiB() - before;
    QVERIFY2(grown < 4096, qPrintable(QStringLiteral("%1 KiB more").arg(grown)));
    writer.kill();
    writer.waitForFinished();
}

void DeviceCommandsTest::stopAnswersEveryWaitingRequest()
{
    m_bus.clearSent();
    const auto stalled = stall(m_bus.sibling("print-manager"));
    // One more than the lane holds: its refusal shows that all the others are queued.
    for (int lines = 31; lines <= 31 + laneCapacity; ++lines) {
        m_bus.send(QString::number(lines), command(202, {lines}));
    }
    QTRY_COMPARE(m_bus.completed.size(), 1);
    m_service->terminate();
    // The name goes at once, while the running command still waits for its sibling.
    QTRY_VERIFY(!m_bus.connection().interface()->isServiceRegistered(TestBus::serviceName));
    QCOMPARE(m_service->state(), QProcess::Running);
    QVERIFY(m_service->waitForFinished(10000));
    QCOMPARE(m_service->exitCode(), 0);
    // The command that was running fails on the stalled sibling; the waiting ones are not run,
    // and every caller still gets a reply from the service rather than the bus's no-reply.
    QTRY_COMPARE(m_bus.completed.size(), m_bus.sent());
    for (const QVariantMap& reply : qAsConst(m_bus.replies)) {
        QCOMPARE(reply, failure);
    }
    QCOMPARE(m_service->output().count("Lane of \"print-manager\" stopping: request not run."),
             laneCapacity - 1);
}

// Runs the mix from every client at once; returns the number of wrong or missing answers. A
// print-manager command may also fail while that sibling is away.
int DeviceCommandsTest::runMix(int requestsEach, const std::function<void(int)>& onProgress)
{
    int answered = 0;
    int wrong = 0;
    QVector<int> sent(clientCount);
    std::function<void(int)> sendNext = [&](int client) {
        const int index = (sent[client]++ * 7 + client) % m_mix.size();
        QDBusConnection connection(QStringLiteral("load-client-%1").arg(client));
        auto* watcher = new QDBusPendingCallWatcher(
            connection.asyncCall(TestBus::processCall(m_mix.at(index)), 20000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [&, watcher, index, client] {
            watcher->deleteLater();
            const QVariantMap reply =
                libpivra::dbusValueUnpack(watcher->reply().arguments().value(0)).toMap();
            // The restarted print-manager may be away when its commands come.
            const Category* category =
                Category::holding(m_mix.at(index).value("subCommandId").toInt());
            const bool away = category != nullptr && category->sibling == siblings::printManager &&
                              reply == failure;
            if (reply != m_mixReplies.at(index) && !away && wrong++ < 5) {
                qWarning() << "wrong answer" << m_mix.at(index) << reply;
            }
            onProgress(++answered);
            if (sent[client] < requestsEach) {
                sendNext(client);
            }
        });
    };
    for (int client = 0; client < clientCount; ++client) {
        QDBusConnection::connectToBus(m_bus.address(),
                                      QStringLiteral("load-client-%1").arg(client));
        for (int i = 0; i < inFlightPerClient; ++i) {
            sendNext(client);
        }
    }
    const int total = clientCount * requestsEach;
    const bool finished = QTest::qWaitFor([&] { return answered == total; }, 240000);
    for (int client = 0; client < clientCount; ++client) {
        QDBusConnection::disconnectFromBus(QStringLiteral("load-client-%1").arg(client));
    }
    return finished ? wrong : wrong + (total - answered);
}

// Several clients on connections of their own send thousands of mixed requests to a service
// with lanes of the usual size, while print-manager is killed and restarted: every call is
// answered right and none is lost. The service's memory is the bench's.
void DeviceCommandsTest::loadWithASiblingRestarted()
{
    QTRY_VERIFY(!m_bus.connection().interface()->isServiceRegistered(TestBus::serviceName));
    qunsetenv("COMMAND_HANDLER_LANE_CAPACITY");
    m_service = m_bus.startService();
    QVERIFY(m_bus.waitForBusName(TestBus::serviceName));
    const QVariantMap commands{
        {"commandId", "GetCommands"}, {"senderId", "Speech"}, {"category", "IpcCommandId"}};
    const QVariantMap unknownSender{{"commandId", "GetCommands"}, {"senderId", "Nobody"}};
    m_mix = {catalogue,         commands,     unknownSender,         command(4711),
             command(202, {1}), command(203), command(202),          command(300),
             command(101),      command(601), command(500, {"load"})};
    // Each request's answer when nothing else runs; none of them changes what another answers,
    // and a restarted print-manager answers as the one before it (no command of the run loads
    // or ejects paper).
    for (const QVariantMap& request : qAsConst(m_mix)) {
        m_mixReplies.append(m_bus.process(request));
        QVERIFY(m_mixReplies.constLast().contains("errorId"));
    }
    ServiceProcess* printManager = m_bus.sibling("print-manager");
    const int requestsEach = 1500;
    const int total = clientCount * requestsEach;
    const int wrong = runMix(requestsEach, [&](int answered) {
        if (answered == total / 3) {
            m_bus.sibling("print-manager")->stop();
        } else if (answered == 2 * total / 3) {
            m_bus.startSibling("print-manager");
        }
    });
    QCOMPARE(wrong, 0);
    QVERIFY(m_bus.sibling("print-manager") != printManager && m_bus.waitForReady("print-manager"));
    QCOMPARE(runMix(requestsEach, [](int) {}), 0);
    QCOMPARE(m_service->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(DeviceCommandsTest)
#include "tst_devicecommands.moc"
