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
    void catalogue_data();
    void catalogue();

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

void CommandHandlerTest::catalogue_data()
{
    QTest::addColumn<QVariantMap>("query");
    QTest::addColumn<QString>("listKey");
    QTest::addColumn<QVariantList>("list");
    const auto commands = [](const QVariant& category, const QVariant& args = {}) {
        QVariantMap query = request("GetCommands", "Speech", {});
        if (category.isValid()) {
            query.insert(ls::categoryKey, category);
        }
        if (args.isValid()) {
            query.insert(ls::argsKey, args);
        }
        return query;
    };
    QTest::newRow("categories by key, empty fields left out")
        << request("GetCommandCategories", "Speech", {}) << "commandCategories"
        << QVariantList{QVariantMap{{"id", "ConfigurationCommandId"}, {"description", "c"}},
                        QVariantMap{{"id", "EmbossCommandId"}},
                        QVariantMap{{"id", "TestingCommandId"}}};
    QTest::newRow("commands by key, arguments only with a count")
        << commands("Cat") << "commands"
        << QVariantList{QVariantMap{{"id", "Alpha"},
                                    {"description", "a"},
                                    {"argumentCount", 1},
                                    {"argumentTypes", QVariantList{argument("lines", "int")}}},
                        QVariantMap{{"id", "Hidden"}, {"description", "h"}},
                        QVariantMap{{"id", "Zeta"}, {"description", "z"}}};
    // A null value could not be marshalled on the bus.
    QTest::newRow("null fields left out")
        << commands("EmbossCommandId") << "commands"
        << QVariantList{QVariantMap{{"id", "SetCopies"},
                                    {"argumentCount", 2},
                                    {"argumentTypes", QVariantList{QVariantMap{{"type", "int"}}}}}};
    QTest::newRow("category in another letter case")
        << commands("cat") << "commands" << QVariantList();
    QTest::newRow("category in the arguments")
        << commands({}, QVariantList{"Cat"}) << "commands" << QVariantList();
}

void CommandHandlerTest::catalogue()
{
    QFETCH(QVariantMap, query);
    QFETCH(QString, listKey);
    QFETCH(QVariantList, list);
    // Written by hand so that the file order is not the key order.
    writeTable(QByteArray(R"({
        "Zeta": {"category": "Cat", "description": "z"},
        "TestingCommandId": {"description": null},
        "Alpha": {"category": "Cat", "description": "a", "argumentCount": 1,
                  "argumentTypes": [{"name": "lines", "type": "int"}]},
        "ConfigurationCommandId": {"description": "c"},
        "Hidden": {"category": "Cat", "description": "h", "argumentCount": 0,
                   "argumentTypes": [{"name": "lines", "type": "int"}]},
        "Mid": {"category": "Other", "description": "m"},
        "EmbossCommandId": {},
        "SetCopies": {"category": "EmbossCommandId", "description": null, "argumentCount": 2,
                      "argumentTypes": [null, {"name": null, "type": "int"}]}
    })"));
    CommandHandler handler;
    QVERIFY(handler.initialize());
    QVariantMap expected = CommandHandler::makeReply("Success", "Undefined");
    expected.insert(listKey, list);
    QCOMPARE(handler.process(query), expected);
}

QTEST_GUILESS_MAIN(CommandHandlerTest)
#include "tst_commandhandler.moc"
