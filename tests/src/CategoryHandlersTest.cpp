// The six device-command handlers, reached through CommandHandler::process with a test command
// table. Links the in-process fake clients in place of the real client libraries, so every
// backend call is recorded instead of crossing the bus.
#include "CategoryEnumerations.h"
#include "CommandHandler.h"
#include "ConfigurationList.h"
#include "FakeRecorder.h"
#include "LogCapture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QVariantMap failure{{ls::resultIdKey, ls::ResultId::Failure}, {ls::errorIdKey, "Undefined"}};
const QVariantMap success{{ls::resultIdKey, ls::ResultId::Success}, {ls::errorIdKey, "Undefined"}};
const QVariant absent;

QVariantMap with(QVariantMap reply, const QString& key, const QVariant& value)
{
    reply.insert(key, value);
    return reply;
}

// "function returnType argumentCount" as a command-table entry.
QVariantMap tableEntry(const QString& description)
{
    const QStringList fields = description.split(' ');
    return {{ls::categoryKey, "Test"},
            {ls::descriptionKey, "A command"},
            {"function", fields.at(0)},
            {"returnType", fields.at(1)},
            {ls::argumentCountKey, fields.at(2).toInt()}};
}

int subCommandOf(const QString& entry)
{
    for (const CategoryEnumeration& category : categoryEnumerations) {
        if (category.commands.hasKey(entry)) {
            return category.commands.value(entry);
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

// A command the backend carries out: its one call is the method, then its arguments.
void addCall(const char* name, const QString& entry, const QString& table, const QVariant& args,
             const QVariant& answer, const QVariantList& call, const QVariantMap& reply = success)
{
    QTest::newRow(name) << entry << table << args << answer << call << reply << QStringList();
}

// A command refused before the backend is called, or that finds no method there.
void addFailure(const char* name, const QString& entry, const QString& table, const QVariant& args,
                const QStringList& log)
{
    QTest::newRow(name) << entry << table << args << absent << QVariantList() << failure << log;
}

} // namespace

class CategoryHandlersTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { FakeRecorder::resetAll(); }
    void commands_data();
    void commands();
    void categoriesShareTheirProxy();

private:
    // One HandleCommand request against a table holding only `entry`, described as tableEntry()
    // takes it (no entry for an empty text); an invalid `args` leaves the arguments out.
    QVariantMap run(const QString& entry, const QString& table, const QVariant& args = {});

    QTemporaryDir m_state;
};

void CategoryHandlersTest::initTestCase()
{
    QVERIFY(m_state.isValid());
    // Before the first use, which fixes the table's path.
    qputenv("STATE_DIRECTORY", m_state.path().toUtf8());
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

void CategoryHandlersTest::commands_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QVariant>("args");
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QVariantList>("expectCalls");
    QTest::addColumn<QVariantMap>("expectReply");
    QTest::addColumn<QStringList>("expectLog");

    const QVariant three(QVariantList{3});
    const QVariantMap documents{{"documents", QVariantList{QVariantMap{{"id", "1"}}}}};
    addCall("paper feed, empty list for no arguments", "EjectPaper", "ejectPaper void 0",
            QVariantList(), absent, {"ejectPaper"});
    addCall("paper feed int", "GetPaperPosition", "paperPosition int 0", absent, 42,
            {"paperPosition"},
            with(success, ls::detailsMapKey, QVariantMap{{"paperPosition", 42}}));
    addCall("document bool with arguments", "DeleteDocument", "deleteDocument bool 1", three, true,
            {"deleteDocument", 3},
            with(success, ls::detailsMapKey, QVariantMap{{"deleteDocument", true}}));
    addCall("document list, arguments counted but not passed", "GetDocuments",
            "documents QVariantList 1", three, documents, {"documents"},
            with(success, ls::detailsListMapKey, documents));
    addCall("configuration map, result and error replaced", "SetSetting",
            "setSetting QVariantMap 1", three, with(failure, "volume", 3), {"setSetting", 3},
            with(success, "volume", 3));
    addCall("configuration list, empty", "GetSettingsGroups", "getSettingsGroups QList 0", absent,
            absent, {"getSettingsGroups"});
    addCall("configuration void, arguments counted but not passed", "ResetSettings",
            "resetSettings void 1", three, absent, {"resetSettings"});
    // The table's function and result type play no part in IPC commands.
    addCall("ipc state without arguments, result and error replaced", "IPCState", "unused void 1",
            absent, with(failure, "mode", "auto"), {"setIPCState", true},
            with(success, "mode", "auto"));
    addCall("ipc test without parameter, arguments ignored", "RunMotorTest", "unused void 0",
            QVariantList{7}, absent, {"runTestCmd", 601, 0});
    addCall("ipc test with parameter", "RunHeadTest", "unused void 1", QVariantList{"4", 9}, absent,
            {"runTestCmd", 602, 4});
    addCall("ipc test, parameter missing", "RunSensorTest", "unused void 1", absent, absent,
            {"runTestCmd", 603, 0});

    const char* paperFeed = "handlePaperFeedCommands";
    const QString unknownType = QStringLiteral("Unable to find the function type.");
    const QString notFound = QStringLiteral("Parameter \"LoadPaper\" not found!");
    auto uncallable = [](const char* handler, const char* function) {
        return QStringList{error(
            handler, QStringLiteral("Backend method \"%1\" cannot be called.").arg(function))};
    };

    addFailure("not implemented, before the argument checks", "CalibratePaper",
               "notImplemented void 2", absent, {error(paperFeed, "Command not implemented")});
    addFailure("arguments that are no list", "SetCopies", "setCopies void 1", 2,
               {error("handleEmbossCommands",
                      "Mismatch between argument count and provided arguments number."),
                "\"Please provide 1 parameters\""});
    addFailure("emboss bool", "StartEmbossing", "startEmbossing bool 0", absent,
               {error("handleEmbossCommands", unknownType)});
    addFailure("letter case", "LoadPaper", "loadPaper Void 0", absent,
               {error(paperFeed, unknownType)});
    addFailure("document QList", "GetDocuments", "documents QList 0", absent,
               {error("handleDocumentCommands", unknownType)});
    addFailure("configuration QVariantList", "GetSettings", "getSettings QVariantList 0", absent,
               {error("handleConfigurationCommands", unknownType)});
    addFailure("command missing from the table", "LoadPaper", "", absent,
               {error("getFunctionInfo", notFound), error("getArgumentCount", notFound),
                error(paperFeed, unknownType)});
    addFailure("backend method answers another type", "IsPaperLoaded", "isPaperLoaded int 0",
               absent, uncallable(paperFeed, "isPaperLoaded"));
    addFailure("uncallable document list", "GetDocuments", "deleteAllDocuments QVariantList 0",
               absent, uncallable("handleDocumentCommands", "deleteAllDocuments"));
    addFailure("uncallable configuration void", "ResetSettings", "reset void 0", absent,
               uncallable("handleConfigurationCommands", "reset"));
}

void CategoryHandlersTest::commands()
{
    QFETCH(QString, entry);
    QFETCH(QString, table);
    QFETCH(QVariant, args);
    QFETCH(QVariant, answer);
    QFETCH(QVariantList, expectCalls);
    QFETCH(QVariantMap, expectReply);
    QFETCH(QStringList, expectLog);
    const QString method = expectCalls.value(0).toString();
    FakeRecorder::printManager().setResult(method, answer);
    FakeRecorder::documentManager().setResult(method, answer);
    FakeRecorder::configurationManager().setResult(method, answer);
    LogCapture capture;

    QCOMPARE(run(entry, table, args), expectReply);
    QCOMPARE(handlerLog(capture), expectLog);
    QVariantList calls;
    for (const FakeRecorder::Call& call : allBackendCalls()) {
        calls << call.method << call.arguments;
    }
    QCOMPARE(calls, expectCalls);
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
}

QTEST_GUILESS_MAIN(CategoryHandlersTest)
#include "CategoryHandlersTest.moc"
