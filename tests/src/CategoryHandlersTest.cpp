// The six device-command handlers, reached through CommandHandler::process with a test command
// table. Links the in-process fake clients in place of the real client libraries, so every
// backend call is recorded instead of crossing the bus.
#include "CommandHandler.h"
#include "ConfigurationList.h"
#include "FakeRecorder.h"
#include "LogCapture.h"
#include "ls/Enums.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QVariantMap failure{{ls::resultIdKey, ls::ResultId::Failure}, {ls::errorIdKey, "Undefined"}};
const QVariantMap success{{ls::resultIdKey, ls::ResultId::Success}, {ls::errorIdKey, "Undefined"}};
const QVariant absent;
const QVariantList none;

QVariantMap with(QVariantMap reply, const QString& key, const QVariant& value)
{
    reply.insert(key, value);
    return reply;
}

// "function returnType argumentCount" as a command-table entry; an empty text for no entry.
QVariantMap tableEntry(const QString& description)
{
    const QStringList fields = description.split(' ');
    if (fields.size() != 3) {
        return {};
    }
    return {{ls::categoryKey, "Test"},
            {ls::descriptionKey, "A command"},
            {"function", fields.at(0)},
            {"returnType", fields.at(1)},
            {ls::argumentCountKey, fields.at(2).toInt()}};
}

int subCommandOf(const QString& entry)
{
    for (const ls::MetaEnum* commands :
         {&ls::ConfigurationCommandId::meta, &ls::PaperFeedCommandId::meta,
          &ls::DocumentCommandId::meta, &ls::EmbossCommandId::meta, &ls::TestingCommandId::meta,
          &ls::IpcCommandId::meta}) {
        if (commands->hasKey(entry)) {
            return commands->value(entry);
        }
    }
    return 0;
}

QVector<FakeRecorder::Call> allBackendCalls()
{
    return FakeRecorder::printManager().calls() + FakeRecorder::documentManager().calls() +
           FakeRecorder::configurationManager().calls() + FakeRecorder::speech().calls();
}

// Error and information lines, the ones the handlers write.
QStringList handlerLog(const LogCapture& capture)
{
    QStringList lines;
    for (const LogCapture::Record& record : capture.records()) {
        if (record.type == QtCriticalMsg || record.type == QtInfoMsg) {
            lines.append(record.message);
        }
    }
    return lines;
}

QString error(const char* method, const QString& message)
{
    return QStringLiteral("CommandHandler::%1 ERROR: %2").arg(method, message);
}

} // namespace

class CategoryHandlersTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { FakeRecorder::resetAll(); }
    void successfulCommands_data();
    void successfulCommands();
    void failures_data();
    void failures();
    void ipcCommands_data();
    void ipcCommands();
    void categoriesShareTheirProxy();

private:
    // One HandleCommand request against a table holding only `entry`, described as tableEntry()
    // takes it; an invalid `args` leaves the arguments out of the request.
    QVariantMap run(const QString& entry, const QString& table, const QVariant& args = {});

    QTemporaryDir m_state;
};

void CategoryHandlersTest::initTestCase()
{
    QVERIFY(m_state.isValid());
    // The table's path is fixed on first use.
    qputenv("STATE_DIRECTORY", m_state.path().toUtf8());
    QCOMPARE(CommandHandler::commandTablePath(), m_state.filePath("commandTable.json"));
}

QVariantMap CategoryHandlersTest::run(const QString& entry, const QString& table,
                                      const QVariant& args)
{
    QFile file(CommandHandler::commandTablePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return {};
    }
    const QVariantMap contents = table.isEmpty()
                                     ? QVariantMap{{"Other", tableEntry("other void 0")}}
                                     : QVariantMap{{entry, tableEntry(table)}};
    file.write(QJsonDocument(QJsonObject::fromVariantMap(contents)).toJson());
    file.close();

    CommandHandler handler;
    handler.initialize();
    QVariantMap request{{ls::commandIdKey, ls::CommandHandlerCmdId::HandleCommand},
                        {ls::senderIdKey, ls::ServiceId::FrontPanel},
                        {ls::subCommandIdKey, subCommandOf(entry)}};
    if (args.isValid()) {
        request.insert(ls::argsKey, args);
    }
    return handler.process(request);
}

void CategoryHandlersTest::successfulCommands_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QVariant>("args");
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QVariantList>("expectArguments");
    QTest::addColumn<QVariantMap>("expectReply");

    const QVariantList three{3};
    QTest::newRow("paper feed, empty list for no arguments")
        << "EjectPaper"
        << "ejectPaper void 0" << QVariant(QVariantList()) << absent << none << success;
    QTest::newRow("paper feed with arguments")
        << "FeedLines"
        << "feedLines void 1" << QVariant(three) << absent << three << success;
    QTest::newRow("paper feed bool false")
        << "IsPaperLoaded"
        << "isPaperLoaded bool 0" << absent << QVariant(false) << none << success;
    QTest::newRow("paper feed int")
        << "GetPaperPosition"
        << "paperPosition int 0" << absent << QVariant(42) << none << success;
    QTest::newRow("emboss with arguments") << "SetCopies"
                                           << "setCopies void 1" << QVariant(QStringList{"3"})
                                           << absent << QVariantList{"3"} << success;
    QTest::newRow("testing with arguments")
        << "SetSpeechRate"
        << "setRate void 1" << QVariant(three) << absent << three << success;
    QTest::newRow("document bool with arguments")
        << "DeleteDocument"
        << "deleteDocument bool 1" << QVariant(three) << QVariant(true) << three << success;

    const QVariantMap documents{{"documents", QVariantList{QVariantMap{{"id", "1"}}}}};
    QTest::newRow("document list, arguments counted but not passed")
        << "GetDocuments"
        << "documents QVariantList 1" << QVariant(three) << QVariant(documents) << none
        << with(success, ls::detailsListMapKey, documents);
    QTest::newRow("document list, empty") << "GetDocuments"
                                          << "documents QVariantList 0" << absent << absent << none
                                          << with(success, ls::detailsListMapKey, QVariantMap());

    const QVariantMap audio{{"volume", 3}};
    QTest::newRow("configuration map, result and error replaced")
        << "SetSetting"
        << "setSetting QVariantMap 1" << QVariant(three) << QVariant(with(failure, "volume", 3))
        << three << with(success, "volume", 3);
    QTest::newRow("configuration list")
        << "GetSettingsGroup"
        << "getSettingsGroup QList 1" << QVariant(three)
        << QVariant::fromValue(ConfigurationList{{"audio", audio}}) << three
        << with(success, ls::detailsMapKey, QVariantMap{{"audio", audio}});
    QTest::newRow("configuration list, empty")
        << "GetSettingsGroups"
        << "getSettingsGroups QList 0" << absent << absent << none << success;
    QTest::newRow("configuration void, arguments counted but not passed")
        << "ResetSettings"
        << "resetSettings void 1" << QVariant(three) << absent << none << success;
}

void CategoryHandlersTest::successfulCommands()
{
    QFETCH(QString, entry);
    QFETCH(QString, table);
    QFETCH(QVariant, args);
    QFETCH(QVariant, answer);
    QFETCH(QVariantList, expectArguments);
    QFETCH(QVariantMap, expectReply);
    const QString function = table.section(' ', 0, 0);
    FakeRecorder::printManager().setResult(function, answer);
    FakeRecorder::documentManager().setResult(function, answer);
    FakeRecorder::configurationManager().setResult(function, answer);
    LogCapture capture;

    QCOMPARE(run(entry, table, args), expectReply);
    QCOMPARE(handlerLog(capture), QStringList());
    const QVector<FakeRecorder::Call> calls = allBackendCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().method, function);
    QCOMPARE(calls.first().arguments, expectArguments);
}

void CategoryHandlersTest::failures_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QVariant>("args");
    QTest::addColumn<QStringList>("expectLog");

    const char* paperFeed = "handlePaperFeedCommands";
    const QString unknownType = QStringLiteral("Unable to find the function type.");
    const QString mismatch =
        QStringLiteral("Mismatch between argument count and provided arguments number.");
    auto uncallable = [](const char* handler, const char* function) {
        return QStringList{error(
            handler, QStringLiteral("Backend method \"%1\" cannot be called.").arg(function))};
    };
    const QVariant one(QVariantList{1});

    QTest::newRow("not implemented, before the argument checks")
        << "CalibratePaper"
        << "notImplemented void 2" << absent
        << QStringList{error(paperFeed, "Command not implemented")};
    QTest::newRow("arguments missing")
        << "FeedLines"
        << "feedLines void 2" << absent
        << QStringList{
               error(paperFeed, "\"args key not found. Please provide the parameter list.\"")};
    QTest::newRow("arguments for a command without")
        << "LoadPaper"
        << "loadPaper void 0" << one
        << QStringList{error(paperFeed, mismatch), "\"Please provide 0 parameters\""};
    QTest::newRow("arguments that are no list")
        << "SetCopies"
        << "setCopies void 1" << QVariant(2)
        << QStringList{error("handleEmbossCommands", mismatch), "\"Please provide 1 parameters\""};
    QTest::newRow("emboss bool") << "StartEmbossing"
                                 << "startEmbossing bool 0" << absent
                                 << QStringList{error("handleEmbossCommands", unknownType)};
    QTest::newRow("testing int") << "StopSpeaking"
                                 << "stop int 0" << absent
                                 << QStringList{error("handleTestingCommands", unknownType)};
    QTest::newRow("letter case") << "LoadPaper"
                                 << "loadPaper Void 0" << absent
                                 << QStringList{error(paperFeed, unknownType)};
    QTest::newRow("document QList") << "GetDocuments"
                                    << "documents QList 0" << absent
                                    << QStringList{error("handleDocumentCommands", unknownType)};
    QTest::newRow("configuration QVariantList")
        << "GetSettings"
        << "getSettings QVariantList 0" << absent
        << QStringList{error("handleConfigurationCommands", unknownType)};
    QTest::newRow("command missing from the table")
        << "LoadPaper"
        << "" << absent
        << QStringList{error("getFunctionInfo", "Parameter \"LoadPaper\" not found!"),
                       error("getArgumentCount", "Parameter \"LoadPaper\" not found!"),
                       error(paperFeed, unknownType)};
    QTest::newRow("no such backend method")
        << "FeedLines"
        << "feedLine void 1" << one << uncallable(paperFeed, "feedLine");
    QTest::newRow("backend method answers another type")
        << "IsPaperLoaded"
        << "isPaperLoaded int 0" << absent << uncallable(paperFeed, "isPaperLoaded");
    QTest::newRow("uncallable emboss") << "StartEmbossing"
                                       << "startEmbossing() void 0" << absent
                                       << uncallable("handleEmbossCommands", "startEmbossing()");
    QTest::newRow("uncallable document list")
        << "GetDocuments"
        << "deleteAllDocuments QVariantList 0" << absent
        << uncallable("handleDocumentCommands", "deleteAllDocuments");
    QTest::newRow("uncallable configuration void")
        << "ResetSettings"
        << "reset void 0" << absent << uncallable("handleConfigurationCommands", "reset");
}

void CategoryHandlersTest::failures()
{
    QFETCH(QString, entry);
    QFETCH(QString, table);
    QFETCH(QVariant, args);
    QFETCH(QStringList, expectLog);
    LogCapture capture;

    QCOMPARE(run(entry, table, args), failure);
    QCOMPARE(handlerLog(capture), expectLog);
    QCOMPARE(allBackendCalls().size(), 0);
}

void CategoryHandlersTest::ipcCommands_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("argumentCount");
    QTest::addColumn<QVariant>("args");
    QTest::addColumn<QString>("expectMethod");
    QTest::addColumn<QVariantList>("expectArguments");

    const QString state = QStringLiteral("setIPCState");
    const QString test = QStringLiteral("runTestCmd");
    QTest::newRow("state without arguments")
        << "IPCState" << 1 << absent << state << QVariantList{true};
    QTest::newRow("state from the first argument")
        << "IPCState" << 1 << QVariant(QVariantList{false, true}) << state << QVariantList{false};
    QTest::newRow("test without parameter, arguments ignored")
        << "RunMotorTest" << 0 << QVariant(QVariantList{7}) << test << QVariantList{601, 0};
    QTest::newRow("test with parameter")
        << "RunHeadTest" << 1 << QVariant(QVariantList{"4", 9}) << test << QVariantList{602, 4};
    QTest::newRow("test, parameter missing")
        << "RunSensorTest" << 1 << absent << test << QVariantList{603, 0};
}

void CategoryHandlersTest::ipcCommands()
{
    QFETCH(QString, entry);
    QFETCH(int, argumentCount);
    QFETCH(QVariant, args);
    QFETCH(QString, expectMethod);
    QFETCH(QVariantList, expectArguments);
    FakeRecorder::printManager().setResult(expectMethod, with(failure, "mode", "auto"));
    LogCapture capture;

    // The table's function and result type play no part in IPC commands.
    const QString table = QStringLiteral("unused void %1").arg(argumentCount);
    QCOMPARE(run(entry, table, args), with(success, "mode", "auto"));
    QCOMPARE(handlerLog(capture), QStringList());
    QCOMPARE(FakeRecorder::printManager().calls().size(), 1);
    QCOMPARE(FakeRecorder::printManager().calls().first().method, expectMethod);
    QCOMPARE(FakeRecorder::printManager().calls().first().arguments, expectArguments);
}

void CategoryHandlersTest::categoriesShareTheirProxy()
{
    run("LoadPaper", "loadPaper void 0");
    run("RunMotorTest", "runTestCmd QVariantMap 0");
    run("StartEmbossing", "startEmbossing void 0");
    run("GetDocuments", "documents QVariantList 0");
    QCOMPARE(FakeRecorder::printManager().methods(), (QStringList{"loadPaper", "runTestCmd"}));
    QCOMPARE(FakeRecorder::documentManager().methods(),
             (QStringList{"startEmbossing", "documents"}));
    QCOMPARE(FakeRecorder::printManager().constructed(), 1);
    QCOMPARE(FakeRecorder::printManager().checkConnectionCalls(), QList<bool>{false});
    QCOMPARE(FakeRecorder::documentManager().constructed(), 1);
    QCOMPARE(FakeRecorder::documentManager().checkConnectionCalls(), QList<bool>{false});
}

QTEST_GUILESS_MAIN(CategoryHandlersTest)
#include "CategoryHandlersTest.moc"
