// Device commands end to end: a bus client, the real service binary and the four sibling
// simulator processes on a private bus. What a command did is read back from the sibling. A
// sibling is stalled with SIGSTOP; its lane holds at most laneCapacity requests here.
#include "ServiceProcess.h"
#include "TestBus.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTest>

#include <csignal>

namespace {
constexpr int laneCapacity = 3;

const QStringList siblings = {"print-manager", "document-manager", "configuration-manager",
                              "speech"};

QString busNameOf(const QString& sibling)
{
    static const QMap<QString, QString> names = {
        {"print-manager", "com.vellorn.PrintManager"},
        {"document-manager", "com.vellorn.DocumentManager"},
        {"configuration-manager", "com.vellorn.ConfigurationManager"},
        {"speech", "com.vellorn.Speech"}};
    return names.value(sibling);
}

QString readinessNameOf(const QString& sibling)
{
    return sibling == "speech" ? QStringLiteral("speechd") : sibling;
}

const QVariantMap failure{{"resultId", "Failure"}, {"errorId", "Undefined"}};

QVariantMap handleCommand(int subCommand, const QVariantList& args = {})
{
    QVariantMap request{
        {"commandId", "HandleCommand"}, {"senderId", "FrontPanel"}, {"subCommandId", subCommand}};
    if (!args.isEmpty()) {
        request.insert("args", args);
    }
    return request;
}

QVariantMap withArgs(int subCommand, const QVariant& args)
{
    QVariantMap request = handleCommand(subCommand);
    request.insert("args", args);
    return request;
}

// Stops a sibling process until it goes out of scope. A sibling that is not running has no
// process id, and kill(0) would stop this whole process group, the test runner with it.
class Stall
{
public:
    explicit Stall(ServiceProcess* sibling) : m_pid(sibling != nullptr ? sibling->processId() : 0)
    {
        send(SIGSTOP);
    }
    ~Stall() { send(SIGCONT); }

private:
    void send(int number) const
    {
        if (m_pid > 0) {
            ::kill(static_cast<pid_t>(m_pid), number);
        }
    }

    qint64 m_pid;
};

// Requests sent without waiting, and the order in which their replies came back.
class Completions : public QObject
{
public:
    explicit Completions(const QDBusConnection& bus) : m_bus(bus) {}
    void send(const QString& label, const QVariantMap& request)
    {
        QDBusMessage call = QDBusMessage::createMethodCall("com.vellorn.CommandHandler", "/",
                                                           "com.vellorn.CommandHandler", "process");
        call << request;
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 30000), this);
        ++sent;
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, label, watcher] {
            const QDBusMessage reply = watcher->reply();
            order.append(label);
            replies.insert(label, reply.arguments().isEmpty()
                                      ? QVariantMap{{"error", reply.errorName()}}
                                      : libpivra::dbusValueUnpack(reply.arguments().at(0)).toMap());
        });
    }
    int sent = 0;
    QStringList order;
    QMap<QString, QVariantMap> replies;

private:
    QDBusConnection m_bus;
};

// Whether the texts appear in the output in this order.
bool inOrder(const QString& output, const QStringList& texts)
{
    int from = 0;
    for (const QString& text : texts) {
        from = output.indexOf(text, from);
        if (from < 0) {
            return false;
        }
    }
    return true;
}
} // namespace

class DeviceCommandsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void commandReachesItsSibling_data();
    void commandReachesItsSibling();
    void documentsReachTheClientIntact();
    void settingsGroupsReachTheClient();
    void siblingFaults_data();
    void siblingFaults();
    void refusedBeforeTheSibling_data();
    void refusedBeforeTheSibling();
    void siblingKilledAndRestarted_data();
    void siblingKilledAndRestarted();
    void stalledSiblingDelaysOnlyItsOwnCommands();
    void fullLaneRefusesAtOnceAndKeepsOrder();
    void consoleAndBusShareTheLane();
    // Last: it stops the service.
    void stopAnswersEveryWaitingRequest();

private:
    ServiceProcess* startSibling(const QString& sibling);
    QVariantMap siblingState(const QString& sibling) const;
    bool setFault(const QString& uniqueName, const QString& sibling, const QString& mode) const;
    void expectServiceStillServing();

    TestBus m_bus;
    ServiceProcess* m_service = nullptr;
    QMap<QString, ServiceProcess*> m_siblings;
};

ServiceProcess* DeviceCommandsTest::startSibling(const QString& sibling)
{
    ServiceProcess* process = m_bus.startSibling(sibling);
    m_siblings.insert(sibling, process);
    return process;
}

void DeviceCommandsTest::initTestCase()
{
    QVERIFY(m_bus.start());
    for (const QString& sibling : siblings) {
        startSibling(sibling);
    }
    for (const QString& sibling : siblings) {
        QVERIFY2(m_bus.waitForReady(readinessNameOf(sibling)), qPrintable(sibling));
    }
    qputenv("QT_LOGGING_RULES", "PrintManager.debug=true;DocumentManager.debug=true;"
                                "ConfigurationManager.debug=true;Speech.debug=true");
    qputenv("COMMAND_HANDLER_LANE_CAPACITY", QByteArray::number(laneCapacity));
    m_service = m_bus.startService();
    QVERIFY(m_bus.waitForBusName(QStringLiteral("com.vellorn.CommandHandler")));
}

QVariantMap DeviceCommandsTest::siblingState(const QString& sibling) const
{
    const QDBusMessage call = QDBusMessage::createMethodCall(
        busNameOf(sibling), QStringLiteral("/"), busNameOf(sibling), QStringLiteral("state"));
    QDBusPendingCall pending = m_bus.connection().asyncCall(call, 5000);
    if (!QTest::qWaitFor([&] { return pending.isFinished(); }, 6000) || pending.isError()) {
        return {};
    }
    return libpivra::dbusValueUnpack(pending.reply().arguments().value(0)).toMap();
}

void DeviceCommandsTest::commandReachesItsSibling_data()
{
    QTest::addColumn<QVariantMap>("request");
    QTest::addColumn<QString>("sibling");
    QTest::addColumn<QString>("stateKey");
    QTest::addColumn<QVariant>("stateValue");
    QTest::addColumn<QVariantMap>("replyEntries");

    QTest::newRow("paper feed: load paper") << handleCommand(200) << "print-manager"
                                            << "paperLoaded" << QVariant(true) << QVariantMap();
    QTest::newRow("paper feed: set paper length")
        << handleCommand(205, {120}) << "print-manager"
        << "paperLength" << QVariant(120)
        << QVariantMap{{"detailsMap", QVariantMap{{"setPaperLength", true}}}};
    // Answers reach the caller, and false or 0 is an answer, not a failure.
    QTest::newRow("paper feed: eject") << handleCommand(201) << "print-manager"
                                       << "paperLoaded" << QVariant(false) << QVariantMap();
    QTest::newRow("paper feed: no paper loaded")
        << handleCommand(203) << "print-manager"
        << "paperLoaded" << QVariant(false)
        << QVariantMap{{"detailsMap", QVariantMap{{"isPaperLoaded", false}}}};
    QTest::newRow("paper feed: position 0")
        << handleCommand(204) << "print-manager"
        << "paperPosition" << QVariant(0)
        << QVariantMap{{"detailsMap", QVariantMap{{"paperPosition", 0}}}};
    QTest::newRow("document: delete one that is not there")
        << handleCommand(302, {"doc-9"}) << "document-manager"
        << "documentIds" << QVariant()
        << QVariantMap{{"detailsMap", QVariantMap{{"deleteDocument", false}}}};
    QTest::newRow("emboss: set copies") << handleCommand(404, {4}) << "document-manager"
                                        << "copies" << QVariant(4) << QVariantMap();
    QTest::newRow("document: select") << handleCommand(301, {"doc-2"}) << "document-manager"
                                      << "selectedDocument" << QVariant("doc-2") << QVariantMap();
    QTest::newRow("testing: speak") << handleCommand(500, {"Hello there"}) << "speech"
                                    << "lastText" << QVariant("Hello there") << QVariantMap();
    QTest::newRow("testing: rate as console text") << handleCommand(502, {"70"}) << "speech"
                                                   << "rate" << QVariant(70) << QVariantMap();
    QTest::newRow("configuration: set setting")
        << handleCommand(102, {"language", "de"}) << "configuration-manager"
        << "settings.General/language" << QVariant("de")
        << QVariantMap{{"name", "language"}, {"value", "de"}, {"previous", "en"}};
    QTest::newRow("ipc: state off")
        << handleCommand(600, {false}) << "print-manager"
        << "ipcEnabled" << QVariant(false) << QVariantMap{{"enabled", false}};
    QTest::newRow("ipc: state on as console text")
        << handleCommand(600, {"1"}) << "print-manager"
        << "ipcEnabled" << QVariant(true) << QVariantMap{{"enabled", true}};
    QTest::newRow("ipc: head test")
        << handleCommand(602, {5}) << "print-manager"
        << "lastTest" << QVariant()
        << QVariantMap{{"test", 602}, {"parameter", 5}, {"result", "passed"}};
}

void DeviceCommandsTest::commandReachesItsSibling()
{
    QFETCH(QVariantMap, request);
    QFETCH(QString, sibling);
    QFETCH(QString, stateKey);
    QFETCH(QVariant, stateValue);
    QFETCH(QVariantMap, replyEntries);

    const QVariantMap reply = m_bus.process(request);
    QCOMPARE(reply.value("resultId"), QVariant("Success"));
    QCOMPARE(reply.value("errorId"), QVariant("Undefined"));
    for (auto entry = replyEntries.cbegin(); entry != replyEntries.cend(); ++entry) {
        QCOMPARE(reply.value(entry.key()), entry.value());
    }
    // "a.b" reads entry b of the map under a.
    QVariant state = siblingState(sibling);
    QCOMPARE(reply.contains("detailsMap"), replyEntries.contains("detailsMap"));
    for (const QString& key : stateKey.split(QLatin1Char('.'))) {
        QVERIFY2(state.toMap().contains(key), qPrintable(stateKey));
        state = state.toMap().value(key);
    }
    if (stateValue.isValid()) {
        QCOMPARE(state, stateValue);
    }
}

void DeviceCommandsTest::documentsReachTheClientIntact()
{
    const QVariantMap reply = m_bus.process(handleCommand(300));
    QCOMPARE(reply.value("resultId"), QVariant("Success"));
    const QVariantList documents =
        reply.value("detailsListMap").toMap().value("documents").toList();
    QCOMPARE(documents.size(), 3);
    QCOMPARE(documents.at(0).toMap(),
             QVariantMap({{"id", "doc-1"}, {"name", "Welcome letter"}, {"pages", 2}}));
    QCOMPARE(documents.at(2).toMap(),
             QVariantMap({{"id", "doc-3"}, {"name", "Recipe book"}, {"pages", 12}}));
    QCOMPARE(siblingState("document-manager").value("documentIds"),
             QVariant(QStringList({"doc-1", "doc-2", "doc-3"})));
    // The log lists each document's fields, read from the maps as the bus left them.
    QVERIFY(m_service->waitForOutput("\t \"name\" : \"Recipe book\"\n\t \"pages\" : \"12\""));
}

void DeviceCommandsTest::settingsGroupsReachTheClient()
{
    const QVariantMap reply = m_bus.process(handleCommand(101));
    QCOMPARE(reply.value("resultId"), QVariant("Success"));
    const QVariantMap groups = reply.value("detailsMap").toMap();
    QCOMPARE(groups.keys(), QStringList({"Embossing", "General", "Speech"}));
    QCOMPARE(groups.value("Speech").toMap().value("voice"), QVariant("default"));

    const QVariantMap one = m_bus.process(handleCommand(103, {"Embossing"}));
    QCOMPARE(one.value("detailsMap").toMap().keys(), QStringList{"Embossing"});
}

bool DeviceCommandsTest::setFault(const QString& uniqueName, const QString& sibling,
                                  const QString& mode) const
{
    const QDBusMessage reply = m_bus.connection().call(
        QDBusMessage::createMethodCall(uniqueName, "/", busNameOf(sibling), "setFault") << mode);
    return reply.arguments().value(0).toBool();
}

void DeviceCommandsTest::expectServiceStillServing()
{
    QVERIFY(m_bus.connection().interface()->isServiceRegistered("com.vellorn.CommandHandler"));
    const QVariantMap catalogue =
        m_bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "WebServer"}});
    QCOMPARE(catalogue.value("resultId"), QVariant("Success"));
}

void DeviceCommandsTest::siblingFaults_data()
{
    QTest::addColumn<QString>("sibling");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QVariantMap>("request");
    QTest::addColumn<QString>("logLine");

    const QString callFailed = QStringLiteral("SiblingLink::call ERROR: com.vellorn.");
    const QString notPassedOn = QStringLiteral(" ERROR: The answer of %1 is not passed on: it ");
    QTest::newRow("not on the bus") << "speech"
                                    << "absent" << handleCommand(500, {"Hello"})
                                    << callFailed + "Speech.speak failed: not on the bus";
    QTest::newRow("error answer") << "print-manager"
                                  << "error" << handleCommand(203)
                                  << callFailed + "PrintManager.isPaperLoaded failed: "
                                                  "com.vellorn.Error.Failed simulated failure";
    QTest::newRow("error answer to an ipc command")
        << "print-manager"
        << "error" << handleCommand(600, {true})
        << callFailed + "PrintManager.setIPCState failed: com.vellorn.Error.Failed";
    QTest::newRow("argument the client refuses")
        << "print-manager"
        << "normal" << handleCommand(202, {"three"})
        << callFailed + "PrintManager.feedLines failed: argument 1 (three) is no int";
    QTest::newRow("answer nested as deep as the bus carries")
        << "document-manager"
        << "nested" << handleCommand(300)
        << "handleDocumentCommands" + notPassedOn.arg("documents") +
               "is nested deeper than the bus carries.";
    QTest::newRow("answer as large as the bus carries")
        << "configuration-manager"
        << "large" << handleCommand(100)
        << "handleConfigurationCommands" + notPassedOn.arg("getSettings");
    QTest::newRow("answer holding a file descriptor")
        << "print-manager"
        << "fd" << handleCommand(601)
        << "handleIpcCommands" + notPassedOn.arg("runTestCmd") + "holds a unix file descriptor.";
}

void DeviceCommandsTest::siblingFaults()
{
    QFETCH(QString, sibling);
    QFETCH(QString, fault);
    QFETCH(QVariantMap, request);
    QFETCH(QString, logLine);
    const QString uniqueName =
        m_bus.connection().interface()->serviceOwner(busNameOf(sibling)).value();
    QVERIFY(setFault(uniqueName, sibling, fault));

    QString error;
    const QVariantMap reply = m_bus.process(request, &error);
    QVERIFY(setFault(uniqueName, sibling, "normal"));
    QCOMPARE(error, QString());
    QCOMPARE(reply, failure);
    QVERIFY2(m_service->waitForOutput(logLine), qPrintable(m_service->output()));
    QCOMPARE(m_service->output().count(logLine), 1);
    expectServiceStillServing();
}

void DeviceCommandsTest::refusedBeforeTheSibling_data()
{
    QTest::addColumn<QVariantMap>("request");
    QTest::addColumn<QString>("logLine");
    const QString state = QStringLiteral("CommandHandler::handleIpcCommands ERROR: IPCState takes "
                                         "exactly one argument: true, false, 1 or 0.");
    QTest::newRow("state not in a list") << withArgs(600, false) << state;
    QTest::newRow("state as text, not in a list") << withArgs(600, "true") << state;
    QTest::newRow("state maybe") << handleCommand(600, {"maybe"}) << state;
    QTest::newRow("state off") << handleCommand(600, {"off"}) << state;
    QTest::newRow("state 2") << handleCommand(600, {2}) << state;
    QTest::newRow("state list empty") << withArgs(600, QVariantList()) << state;
    QTest::newRow("two states") << handleCommand(600, {true, false}) << state;
    QTest::newRow("head test parameter abc")
        << handleCommand(602, {"abc"})
        << "CommandHandler::handleIpcCommands ERROR: \"RunHeadTest\" takes an integer parameter.";
    QTest::newRow("not implemented")
        << handleCommand(105, {"/tmp/settings"})
        << "CommandHandler::handleConfigurationCommands ERROR: Command not implemented";
    QTest::newRow("arguments missing")
        << handleCommand(202)
        << "CommandHandler::handlePaperFeedCommands ERROR: \"args key not found. Please provide "
           "the parameter list.\"";
    QTest::newRow("argument count")
        << handleCommand(202, {1, 2}) << "\"Please provide 1 parameters\"";
    QTest::newRow("sensor test parameter 2.5")
        << handleCommand(603, {2.5})
        << "CommandHandler::handleIpcCommands ERROR: \"RunSensorTest\" takes an integer "
           "parameter.";
}

void DeviceCommandsTest::refusedBeforeTheSibling()
{
    QFETCH(QVariantMap, request);
    QFETCH(QString, logLine);
    ServiceProcess* printManager = m_siblings.value("print-manager");
    const QString before = printManager->output();
    const int logged = m_service->output().size();

    QCOMPARE(m_bus.process(request), failure);
    QTRY_VERIFY2(m_service->output().mid(logged).contains(logLine),
                 qPrintable(m_service->output()));
    // A later call shows up in the simulator's output; the refused one never did.
    QCOMPARE(m_bus.process(handleCommand(601)).value("resultId"), QVariant("Success"));
    QTRY_VERIFY(printManager->output().mid(before.size()).contains("runTestCmd(601, 0)"));
    QCOMPARE(printManager->output().mid(before.size()).count("print-manager: "), 1);
}

void DeviceCommandsTest::siblingKilledAndRestarted_data()
{
    QTest::addColumn<QString>("sibling");
    QTest::addColumn<QVariantMap>("request");
    QTest::addColumn<QVariantMap>("otherSibling");
    QTest::addColumn<QString>("link");
    QTest::newRow("print-manager")
        << "print-manager" << handleCommand(202, {7}) << handleCommand(300) << "print-manager";
    QTest::newRow("document-manager")
        << "document-manager" << handleCommand(300) << handleCommand(203) << "document-manager.";
    QTest::newRow("configuration-manager") << "configuration-manager" << handleCommand(100)
                                           << handleCommand(203) << "configuration-manager.";
    QTest::newRow("speech") << "speech" << handleCommand(500, {"Hi"}) << handleCommand(203)
                            << "speech";
}

void DeviceCommandsTest::siblingKilledAndRestarted()
{
    QFETCH(QString, sibling);
    QFETCH(QVariantMap, request);
    QFETCH(QVariantMap, otherSibling);
    QFETCH(QString, link);
    QCOMPARE(m_bus.process(request).value("resultId"), QVariant("Success"));
    m_siblings.value(sibling)->stop();
    QVERIFY2(m_service->waitForOutput("Disconnected from " + link),
             qPrintable(m_service->output()));

    // The service keeps answering: the sibling's commands fail, the others are carried out.
    QCOMPARE(m_bus.process(request), failure);
    QCOMPARE(m_bus.process(otherSibling).value("resultId"), QVariant("Success"));

    const int connectionsBefore = m_service->output().count("Connected to " + link);
    startSibling(sibling);
    QVERIFY(m_bus.waitForReady(readinessNameOf(sibling)));
    QTRY_VERIFY(m_service->output().count("Connected to " + link) > connectionsBefore);
    QCOMPARE(m_bus.process(request).value("resultId"), QVariant("Success"));
}

void DeviceCommandsTest::stalledSiblingDelaysOnlyItsOwnCommands()
{
    Completions completions(m_bus.connection());
    {
        const Stall stall(m_siblings.value("print-manager"));
        completions.send("stalled", handleCommand(202, {1}));
        completions.send("catalogue",
                         {{"commandId", "GetCommandCategories"}, {"senderId", "Speech"}});
        completions.send("rejected", handleCommand(4711));
        completions.send("document", handleCommand(300));
        completions.send("configuration", handleCommand(100));
        completions.send("speech", handleCommand(502, {40}));
        QTRY_COMPARE(completions.order.size(), completions.sent - 1);
    }
    QTRY_COMPARE(completions.order.size(), completions.sent);
    QCOMPARE(completions.order.constLast(), QString("stalled"));
    QCOMPARE(completions.replies.value("rejected").value("errorId"), QVariant("InvalidCmd"));
    QCOMPARE(completions.replies.value("speech").value("resultId"), QVariant("Success"));
}

void DeviceCommandsTest::fullLaneRefusesAtOnceAndKeepsOrder()
{
    Completions completions(m_bus.connection());
    ServiceProcess* printManager = m_siblings.value("print-manager");
    {
        const Stall stall(printManager);
        for (int lines = 11; lines <= 11 + laneCapacity; ++lines) {
            completions.send(QString::number(lines), handleCommand(202, {lines}));
        }
        QTRY_COMPARE(completions.order, QStringList{QString::number(11 + laneCapacity)});
    }
    QCOMPARE(completions.replies.value(QString::number(11 + laneCapacity)),
             QVariantMap({{"resultId", "Failure"}, {"errorId", "Undefined"}}));
    QVERIFY(m_service->waitForOutput(
        QString("Lane::queue ERROR: Lane of \"print-manager\" full: %1 requests wait")
            .arg(laneCapacity)));
    QTRY_COMPARE(completions.order.size(), completions.sent);
    QCOMPARE(completions.replies.size(), completions.sent);
    QVERIFY(printManager->waitForOutput(QString("feedLines(%1)").arg(10 + laneCapacity)));
    QVERIFY2(inOrder(printManager->output(), {"feedLines(11)", "feedLines(12)", "feedLines(13)"}),
             qPrintable(printManager->output()));
    QVERIFY(!printManager->output().contains(QString("feedLines(%1)").arg(11 + laneCapacity)));
}

void DeviceCommandsTest::consoleAndBusShareTheLane()
{
    Completions completions(m_bus.connection());
    ServiceProcess* printManager = m_siblings.value("print-manager");
    {
        const Stall stall(printManager);
        completions.send("21", handleCommand(202, {21}));
        // Answered at once, after the command before it on the same connection was queued.
        QCOMPARE(m_bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "Speech"}})
                     .value("resultId"),
                 QVariant("Success"));
        m_service->write("C 202 22\n");
        m_service->waitForBytesWritten();
        QVERIFY(m_service->waitForOutput("========== 202 - "));
        completions.send("23", handleCommand(202, {23}));
        QVERIFY(!m_bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "Speech"}})
                     .isEmpty());
        m_service->write("C 202 24\n");
        m_service->waitForBytesWritten();
    }
    QVERIFY(printManager->waitForOutput("feedLines(24)", 20000));
    QVERIFY2(inOrder(printManager->output(),
                     {"feedLines(21)", "feedLines(22)", "feedLines(23)", "feedLines(24)"}),
             qPrintable(printManager->output()));
    QTRY_COMPARE(m_service->output().count("== Done =="), 2);
    QTRY_COMPARE(completions.order.size(), completions.sent);
}

void DeviceCommandsTest::stopAnswersEveryWaitingRequest()
{
    Completions completions(m_bus.connection());
    const Stall stall(m_siblings.value("print-manager"));
    // One more than the lane holds: its refusal shows that all the others are queued.
    for (int lines = 31; lines <= 31 + laneCapacity; ++lines) {
        completions.send(QString::number(lines), handleCommand(202, {lines}));
    }
    QTRY_COMPARE(completions.order.size(), 1);
    m_service->terminate();
    QVERIFY(m_service->waitForFinished(10000));
    QCOMPARE(m_service->exitCode(), 0);
    // The command that was running fails on the stalled sibling; the waiting ones are not run,
    // and every caller still gets a reply from the service rather than the bus's no-reply.
    QTRY_COMPARE(completions.order.size(), completions.sent);
    for (const QVariantMap& reply : qAsConst(completions.replies)) {
        QCOMPARE(reply, QVariantMap({{"resultId", "Failure"}, {"errorId", "Undefined"}}));
    }
    QCOMPARE(m_service->output().count("Lane of \"print-manager\" stopping: request not run."),
             laneCapacity - 1);
}

QTEST_GUILESS_MAIN(DeviceCommandsTest)
#include "tst_devicecommands.moc"
