// Request validation, the command-table queries and the catalogue, in-process.
#include "CommandHandler.h"
#include "LogCapture.h"
#include "ls/Enums.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString prefix = QStringLiteral("CommandHandler::%1 ERROR: ");

QVariantMap request(const QString& commandId, const QString& sender, const QVariant& subCommand)
{
    QVariantMap map;
    if (!commandId.isNull()) {
        map.insert(ls::commandIdKey, commandId);
    }
    if (!sender.isNull()) {
        map.insert(ls::senderIdKey, sender);
    }
    if (subCommand.isValid()) {
        map.insert(ls::subCommandIdKey, subCommand);
    }
    return map;
}

QVariantMap command(const QString& description, const QString& category,
                    const QVariantList& arguments, int count)
{
    return {{"description", description}, {"category", category}, {"argumentCount", count},
            {"argumentTypes", arguments}, {"function", "f"},      {"returnType", "void"}};
}

QVariantMap argument(const QString& name, const QString& type)
{
    return {{"name", name}, {"type", type}};
}
} // namespace

class CommandHandlerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rejectedRequests_data();
    void rejectedRequests();
    void tableQueries_data();
    void tableQueries();
    void catalogueSortedByKeyWhateverTheFileOrder();
    void commandElementsWithAndWithoutArguments();
    void catalogueLeavesOutFieldsTheTableLacks();

private:
    void writeTable(const QByteArray& json);
    void writeTable(const QVariantMap& table);

    QTemporaryDir m_state;
};

void CommandHandlerTest::initTestCase()
{
    QVERIFY(m_state.isValid());
    // The table path is fixed on first use for the life of the process.
    qputenv("STATE_DIRECTORY", (m_state.path() + QStringLiteral(":/ignored/second")).toUtf8());
    QCOMPARE(CommandHandler::commandTablePath(), m_state.filePath("commandTable.json"));
}

void CommandHandlerTest::writeTable(const QByteArray& json)
{
    QFile file(CommandHandler::commandTablePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(json);
}

void CommandHandlerTest::writeTable(const QVariantMap& table)
{
    writeTable(QJsonDocument::fromVariant(table).toJson());
}

void CommandHandlerTest::rejectedRequests_data()
{
    QTest::addColumn<QVariantMap>("request");
    QTest::addColumn<QString>("errorId");
    QTest::addColumn<QStringList>("log");

    const QString notFound = prefix.arg("getCategory") + "Command category not found!";
    const QString invalidCommand = prefix.arg("process") + "Invalid command!";
    const QString invalidSender = prefix.arg("process") + "Invalid sender!";
    const QString invalidSubCommand = prefix.arg("process") + "Invalid sub-command!";

    QTest::newRow("empty request")
        << QVariantMap() << "InvalidCmd" << QStringList{notFound, invalidCommand};
    QTest::newRow("unknown command id")
        << request("DoSomething", "WebServer", 202) << "InvalidCmd" << QStringList{invalidCommand};
    QTest::newRow("command id in another case") << request("handleCommand", "WebServer", 202)
                                                << "InvalidCmd" << QStringList{invalidCommand};
    QTest::newRow("bad command id before bad sender")
        << request("Nope", "Nobody", 202) << "InvalidCmd" << QStringList{invalidCommand};
    QTest::newRow("sub-command outside every category")
        << request("HandleCommand", "WebServer", 999) << "InvalidCmd"
        << QStringList{notFound, notFound, invalidSubCommand};
    QTest::newRow("bad sub-command before bad sender")
        << request("HandleCommand", "Nobody", 7) << "InvalidCmd"
        << QStringList{notFound, notFound, invalidSubCommand};
    QTest::newRow("sub-command not a number")
        << request("HandleCommand", "WebServer", "twelve") << "InvalidCmd"
        << QStringList{notFound, notFound, invalidSubCommand};
    QTest::newRow("unknown sender")
        << request("HandleCommand", "Nobody", 202) << "InvalidSender" << QStringList{invalidSender};
    QTest::newRow("sub-command as text") << request("HandleCommand", "Nobody", "202")
                                         << "InvalidSender" << QStringList{invalidSender};
    QTest::newRow("missing sender") << request("HandleCommand", QString(), 202) << "InvalidSender"
                                    << QStringList{invalidSender};
    QTest::newRow("catalogue with unknown sender")
        << request("GetCommands", "Nobody", 999) << "InvalidSender" << QStringList{invalidSender};
    QTest::newRow("missing sub-command")
        << request("HandleCommand", "WebServer", QVariant()) << "InvalidCmd"
        << QStringList{notFound, notFound, invalidSubCommand};
}

void CommandHandlerTest::rejectedRequests()
{
    QFETCH(QVariantMap, request);
    QFETCH(QString, errorId);
    QFETCH(QStringList, log);

    CommandHandler handler;
    LogCapture capture;
    const QVariantMap reply = handler.process(request);
    QCOMPARE(reply, CommandHandler::makeReply("Failure", errorId));
    QCOMPARE(capture.messages(QtCriticalMsg), log);
    QCOMPARE(capture.messages().size(), log.size());
}

void CommandHandlerTest::tableQueries_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QStringList>("log");

    const auto missing = [](const QString& query, const QString& what) {
        return prefix.arg(query) + QStringLiteral("Parameter \"%1\" not found!").arg(what);
    };
    QTest::newRow("two arguments") << "Two" << 2 << "two args"
                                   << "( a: int, b: QString )" << QStringList();
    QTest::newRow("count zero hides listed arguments") << "Zero" << 0 << "zero"
                                                       << "" << QStringList();
    QTest::newRow("count without list") << "Empty" << 1 << "empty"
                                        << "( )" << QStringList();
    QTest::newRow("argument without name or type") << "Blank" << 1 << "blank"
                                                   << "( :  )" << QStringList();
    QTest::newRow("no description") << "NoDescription" << 1 << ""
                                    << ""
                                    << QStringList{missing("getDescription", "description"),
                                                   missing("getArgumentsList", "description")};
    QTest::newRow("no count") << "NoCount" << 0 << "no count"
                              << "" << QStringList{missing("getArgumentCount", "argumentCount")};
    QTest::newRow("category entry")
        << "PaperFeedCommandId" << 0 << "paper"
        << "" << QStringList{missing("getArgumentCount", "argumentCount")};
    QTest::newRow("unknown key") << "Unknown" << 0 << ""
                                 << ""
                                 << QStringList{missing("getArgumentCount", "Unknown"),
                                                missing("getDescription", "Unknown"),
                                                missing("getArgumentsList", "Unknown")};
}

void CommandHandlerTest::tableQueries()
{
    QFETCH(QString, key);
    QFETCH(int, count);
    QFETCH(QString, description);
    QFETCH(QString, arguments);
    QFETCH(QStringList, log);

    writeTable(QVariantMap{
        {"Two", command("two args", "X", {argument("a", "int"), argument("b", "QString")}, 2)},
        {"Zero", command("zero", "X", {argument("a", "int")}, 0)},
        {"Empty", command("empty", "X", {}, 1)},
        {"Blank", command("blank", "X", {QVariantMap()}, 1)},
        {"NoDescription", QVariantMap{{"argumentCount", 1}, {"argumentTypes", QVariantList{}}}},
        {"NoCount", QVariantMap{{"description", "no count"}}},
        {"PaperFeedCommandId", QVariantMap{{"description", "paper"}}},
    });
    CommandHandler handler;
    QVERIFY(handler.initialize());

    LogCapture capture;
    QCOMPARE(handler.getArgumentCount(key), count);
    QCOMPARE(handler.getDescription(key), description);
    QCOMPARE(handler.getArgumentsList(key), arguments);
    QCOMPARE(capture.messages(QtCriticalMsg), log);
}

void CommandHandlerTest::catalogueSortedByKeyWhateverTheFileOrder()
{
    // Written by hand so that the file order is not the key order.
    writeTable(QByteArray(R"({
        "Zeta": {"category": "Cat", "description": "z"},
        "TestingCommandId": {"description": "testing"},
        "Alpha": {"category": "Cat", "description": "a"},
        "ConfigurationCommandId": {"description": "configuration"},
        "Mid": {"category": "Other", "description": "m"}
    })"));
    CommandHandler handler;
    handler.initialize();

    const QVariantMap categories = handler.process(request("GetCommandCategories", "Speech", {}));
    QCOMPARE(categories.size(), 3);
    QCOMPARE(categories.value(ls::commandCategoriesKey),
             QVariant(QVariantList{
                 QVariantMap{{"id", "ConfigurationCommandId"}, {"description", "configuration"}},
                 QVariantMap{{"id", "TestingCommandId"}, {"description", "testing"}}}));

    QVariantMap commands = request("GetCommands", "Speech", {});
    commands.insert(ls::categoryKey, "Cat");
    const QVariantMap reply = handler.process(commands);
    QCOMPARE(reply.size(), 3);
    QCOMPARE(reply.value(ls::resultIdKey), QVariant("Success"));
    QCOMPARE(reply.value(ls::errorIdKey), QVariant("Undefined"));
    const QVariantList list = reply.value(ls::commandsKey).toList();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).toMap().value("id"), QVariant("Alpha"));
    QCOMPARE(list.at(1).toMap().value("id"), QVariant("Zeta"));
}

void CommandHandlerTest::commandElementsWithAndWithoutArguments()
{
    const QVariantList arguments{argument("lines", "int")};
    writeTable(QVariantMap{
        {"FeedLines", command("feed", "PaperFeedCommandId", arguments, 1)},
        {"LoadPaper", command("load", "PaperFeedCommandId", arguments, 0)},
        {"GetSettings", command("settings", "ConfigurationCommandId", {}, 0)},
    });
    CommandHandler handler;
    handler.initialize();

    QVariantMap query = request("GetCommands", "WebServer", {});
    query.insert(ls::categoryKey, "PaperFeedCommandId");
    QCOMPARE(handler.process(query).value(ls::commandsKey),
             QVariant(QVariantList{QVariantMap{{"id", "FeedLines"},
                                               {"description", "feed"},
                                               {"argumentCount", 1},
                                               {"argumentTypes", arguments}},
                                   QVariantMap{{"id", "LoadPaper"}, {"description", "load"}}}));

    // Exact match only: another letter case, a category inside the arguments, or none at all.
    query.insert(ls::categoryKey, "paperfeedcommandid");
    QCOMPARE(handler.process(query).value(ls::commandsKey), QVariant(QVariantList()));
    query.remove(ls::categoryKey);
    query.insert(ls::argsKey, QVariantList{"PaperFeedCommandId"});
    QCOMPARE(handler.process(query).value(ls::commandsKey), QVariant(QVariantList()));
}

void CommandHandlerTest::catalogueLeavesOutFieldsTheTableLacks()
{
    // An empty or null value could not be marshalled on the bus; it is left out instead.
    writeTable(QByteArray(R"({
        "EmbossCommandId": {},
        "TestingCommandId": {"description": null},
        "SetCopies": {"category": "EmbossCommandId", "description": null, "argumentCount": 2,
                      "argumentTypes": [null, {"name": null, "type": "int"}]}
    })"));
    CommandHandler handler;
    handler.initialize();
    QCOMPARE(handler.process(request("GetCommandCategories", "WebServer", {}))
                 .value(ls::commandCategoriesKey),
             QVariant(QVariantList{QVariantMap{{"id", "EmbossCommandId"}},
                                   QVariantMap{{"id", "TestingCommandId"}}}));
    QVariantMap query = request("GetCommands", "WebServer", {});
    query.insert(ls::categoryKey, "EmbossCommandId");
    QCOMPARE(handler.process(query).value(ls::commandsKey),
             QVariant(QVariantList{
                 QVariantMap{{"id", "SetCopies"},
                             {"argumentCount", 2},
                             {"argumentTypes", QVariantList{QVariantMap{{"type", "int"}}}}}}));
}

QTEST_GUILESS_MAIN(CommandHandlerTest)
#include "tst_commandhandler.moc"
