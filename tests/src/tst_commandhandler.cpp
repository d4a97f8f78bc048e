// The handler in-process against one hand-written command table: the checks of a request, the
// catalogue, and what the device-command handlers refuse before a backend call. The real client
// libraries are linked, with the system bus at a socket that does not exist: a command that gets
// as far as its sibling fails there.
#include "BusLimits.h"
#include "CommandHandler.h"
#include "CommandTable.h"
#include "DirectCarrier.h"
#include "LogCapture.h"
#include "TestTools.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The catalogue's entries, and device commands in a category the catalogue is not asked for.
const char table[] = R"({
    "Zeta": {"category": "Cat", "description": "z"},
    "TestingCommandId": {"description": null},
    "Alpha": {"category": "Cat", "description": "a", "argumentCount": 1,
              "argumentTypes": [{"name": "lines", "type": "int"}]},
    "ConfigurationCommandId": {"description": "c"},
    "Hidden": {"category": "Cat", "description": "h", "argumentCount": 0,
               "argumentTypes": [{"name": "lines", "type": "int"}]},
    "EmbossCommandId": {},
    "SetCopies": {"category": "EmbossCommandId", "description": null, "argumentCount": 2,
                  "argumentTypes": [null, {"name": null, "type": "int"}],
                  "function": "setCopies", "returnType": "void"},
    "CalibratePaper": {"category": "Dev",
                        "function": "notImplemented", "returnType": "void", "argumentCount": 2},
    "LoadPaper": {"category": "Dev",
                   "function": "loadPaper", "returnType": "Void", "argumentCount": 0},
    "IsPaperLoaded": {"category": "Dev",
                       "function": "isPaperLoaded", "returnType": "int", "argumentCount": 0},
    "FeedLines": {"category": "Dev",
                   "function": "feedLines", "returnType": "void", "argumentCount": 1},
    "StartEmbossing": {"category": "Dev",
                        "function": "startEmbossing", "returnType": "bool", "argumentCount": 0},
    "PauseEmbossing": {"category": "Dev",
                        "function": "deleteLater", "returnType": "void", "argumentCount": 0},
    "GetDocuments": {"category": "Dev",
                      "function": "documents", "returnType": "QList", "argumentCount": 0},
    "GetSettings": {"category": "Dev",
                     "function": "getSettings", "returnType": "QVariantList", "argumentCount": 0},
    "RunHeadTest": {"category": "Dev", "argumentCount": 1}
})";

QString error(const char* method, const QString& text)
{
    return QStringLiteral("CommandHandler::%1 ERROR: %2").arg(method, text);
}

QString notFound(const char* method, const QString& what)
{
    return error(method, QStringLiteral("Parameter \"%1\" not found!").arg(what));
}

QVariantMap request(const QString& commandId, const QString& sender, const QVariant& subCommand,
                    const QVariantMap& more = {})
{
    QVariantMap map = more;
    map.insert("commandId", commandId);
    map.insert("senderId", sender);
    if (subCommand.isValid()) {
        map.insert("subCommandId", subCommand);
    }
    return map;
}

QVariantMap device(int subCommand, const QVariant& args = {})
{
    return request("HandleCommand", "FrontPanel", subCommand,
                   args.isValid() ? QVariantMap{{"args", args}} : QVariantMap());
}

QVariantMap with(QVariantMap reply, const QString& key, const QVariant& value)
{
    reply.insert(key, value);
    return reply;
}

const QVariantMap failure{{"resultId", "Failure"}, {"errorId", "Undefined"}};
const QVariantMap success{{"resultId", "Success"}, {"errorId", "Undefined"}};

} // namespace

class CommandHandlerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void process_data();
    void process();
    void eachCatalogueReplyHasABudgetOfItsOwn();
    void catalogueKeepsWhatExactlyFits_data();
    void catalogueKeepsWhatExactlyFits();

private:
    QTemporaryDir m_state;
    // Device commands run at once on the test's thread, against siblings that are not there.
    DirectCarrier m_carrier;
    CommandHandler m_handler{m_carrier};
};

void CommandHandlerTest::initTestCase()
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_state.filePath("none")));
    // The table path is fixed on first use for the life of the process.
    qputenv("STATE_DIRECTORY", (m_state.path() + QStringLiteral(":/ignored/second")).toUtf8());
    QCOMPARE(CommandHandler::commandTablePath(), m_state.filePath("commandTable.json"));
    QVERIFY(writeFile(CommandHandler::commandTablePath(), table));
    // A second load replaces what the first one read.
    QVERIFY(m_handler.initialize() && m_handler.initialize());
    QLoggingCategory::setFilterRules("*.debug=false");
}

void CommandHandlerTest::process_data()
{
    QTest::addColumn<QVariantMap>("request");
    QTest::addColumn<QVariantMap>("reply");
    QTest::addColumn<QStringList>("log");

    const auto rejected = [](const char* errorId) {
        return CommandHandler::makeReply("Failure", errorId);
    };
    const QString noCategory = error("getCategory", "Command category not found!");
    const QString invalidCommand = error("process", "Invalid command!");
    const QString invalidSender = error("process", "Invalid sender!");
    QTest::newRow("empty request")
        << QVariantMap() << rejected("InvalidCmd") << QStringList{noCategory, invalidCommand};
    QTest::newRow("command id in another case, before the sender")
        << request("handleCommand", "Nobody", 202) << rejected("InvalidCmd")
        << QStringList{invalidCommand};
    QTest::newRow("sub-command no number, before the sender")
        << request("HandleCommand", "Nobody", "twelve") << rejected("InvalidCmd")
        << QStringList{noCategory, noCategory, error("process", "Invalid sub-command!")};
    QTest::newRow("unknown sender, sub-command as text")
        << request("HandleCommand", "Nobody", "202") << rejected("InvalidSender")
        << QStringList{invalidSender};
    QTest::newRow("catalogue, unknown sender")
        << request("GetCommands", "Nobody", 999) << rejected("InvalidSender")
        << QStringList{invalidSender};

    QTest::newRow("categories by key, empty fields left out")
        << request("GetCommandCategories", "Speech", {})
        << with(success, "commandCategories",
                QVariantList{QVariantMap{{"id", "ConfigurationCommandId"}, {"description", "c"}},
                             QVariantMap{{"id", "EmbossCommandId"}},
                             QVariantMap{{"id", "TestingCommandId"}}})
        << QStringList();
    const QVariantList alphaHiddenZeta{
        QVariantMap{
            {"id", "Alpha"},
            {"description", "a"},
            {"argumentCount", 1},
            {"argumentTypes", QVariantList{QVariantMap{{"name", "lines"}, {"type", "int"}}}}},
        QVariantMap{{"id", "Hidden"}, {"description", "h"}},
        QVariantMap{{"id", "Zeta"}, {"description", "z"}}};
    // Every listing reports the count the table lacks, as the table query does.
    QTest::newRow("commands by key, arguments only with a count")
        << request("GetCommands", "Speech", {}, {{"category", "Cat"}})
        << with(success, "commands", alphaHiddenZeta)
        << QStringList{notFound("getArgumentCount", "argumentCount")};
    // A null value could not be marshalled on the bus.
    QTest::newRow("null fields left out")
        << request("GetCommands", "Speech", {}, {{"category", "EmbossCommandId"}})
        << with(success, "commands",
                QVariantList{
                    QVariantMap{{"id", "SetCopies"},
                                {"argumentCount", 2},
                                {"argumentTypes", QVariantList{QVariantMap{{"type", "int"}}}}}})
        << QStringList();
    QTest::newRow("category in another letter case")
        << request("GetCommands", "Speech", {}, {{"category", "cat"}})
        << with(success, "commands", QVariantList()) << QStringList();
    QTest::newRow("category in the arguments")
        << request("GetCommands", "Speech", {}, {{"args", QVariantList{"Cat"}}})
        << with(success, "commands", QVariantList()) << QStringList();

    // Device commands that fail with these lines; the sibling is not there.
    const auto fails = [](const char* name, int number, const QVariant& args,
                          const QStringList& log) {
        QTest::newRow(name) << device(number, args) << failure << log;
    };
    const auto unknownType = [](const char* handler) {
        return QStringList{error(handler, "Unable to find the function type.")};
    };
    const auto uncallable = [](const char* handler, const char* function) {
        return QStringList{error(
            handler, QStringLiteral("Backend method \"%1\" cannot be called.").arg(function))};
    };
    fails("not implemented, before the argument checks", 206, {},
          {error("handlePaperFeedCommands", "Command not implemented")});
    fails("arguments that are no list", 404, 2,
          {error("handleEmbossCommands",
                 "Mismatch between argument count and provided arguments number."),
           "\"Please provide 2 parameters\""});
    fails("paper feed, type in another letter case", 200, {},
          unknownType("handlePaperFeedCommands"));
    fails("emboss bool", 400, {}, unknownType("handleEmbossCommands"));
    fails("document QList", 300, {}, unknownType("handleDocumentCommands"));
    fails("configuration QVariantList", 100, {}, unknownType("handleConfigurationCommands"));
    fails("testing, command missing from the table", 501, {},
          QStringList{notFound("getFunctionInfo", "StopSpeaking"),
                      notFound("getArgumentCount", "StopSpeaking")} +
              unknownType("handleTestingCommands"));
    fails("backend method answers another type", 203, {},
          uncallable("handlePaperFeedCommands", "isPaperLoaded"));
    fails("what every object offers is no backend operation", 401, {},
          uncallable("handleEmbossCommands", "deleteLater"));
    // Past every check, the sibling is not reached.
    fails("ipc test", 602, QVariantList{"4"},
          {"SiblingLink::call ERROR: com.vellorn.PrintManager.runTestCmd failed: "
           "org.freedesktop.DBus.Error.Disconnected Not connected to D-Bus server"});
    const QString state =
        error("handleIpcCommands", "IPCState takes exactly one argument: true, false, 1 or 0.");
    fails("ipc state not in a list", 600, "true", {state});
    fails("ipc state 2", 600, QVariantList{2}, {state});
    fails("ipc test, parameter 2.5", 602, QVariantList{2.5},
          {error("handleIpcCommands", "\"RunHeadTest\" takes an integer parameter.")});
}

void CommandHandlerTest::process()
{
    QFETCH(QVariantMap, request);
    QFETCH(QVariantMap, reply);
    QFETCH(QStringList, log);

    LogCapture capture;
    QCOMPARE(m_handler.process(request), reply);
    QCOMPARE(capture.messages(), log);
    // A caller that asks why gets the same reply, and on a failure the reason with it.
    QVariantMap asking = request;
    asking.insert("errorText", true);
    QVariantMap told = m_handler.process(asking);
    const QString reason = told.take("errorText").toString();
    QCOMPARE(told, reply);
    QCOMPARE(reason.isEmpty(), reply.value("resultId") != "Failure");
}

// Of nine 4 MiB configuration commands, seven fit in their reply, beside four document commands
// in theirs and 40 MiB of categories, of which about 2,000 do not fit in the one reply that lists
// them: those are counted rather than each logged.
void CommandHandlerTest::eachCatalogueReplyHasABudgetOfItsOwn()
{
    QJsonObject large;
    for (int i = 0; i < 13; ++i) {
        const char* category = i < 9 ? "ConfigurationCommandId" : "DocumentCommandId";
        large.insert(QStringLiteral("Command%1").arg(i),
                     QJsonObject{{"category", category}, {"description", QString(4 << 20, 'x')}});
    }
    for (int i = 0; i < 10000; ++i) {
        large.insert(QStringLiteral("Category%1").arg(i),
                     QJsonObject{{"description", QString(4096, 'x')}});
    }
    QVERIFY(writeFile(m_state.filePath("large.json"), QJsonDocument(large).toJson()));
    LogCapture log;
    const auto loaded = CommandTable::load(m_state.filePath("large.json")).table;
    QVERIFY(loaded != nullptr);
    const QStringList errors = log.messages(QtCriticalMsg);
    QCOMPARE(errors.size(), 101);
    QVERIFY2(errors.first().startsWith("CommandTable::fitsInReply ERROR: "),
             qPrintable(errors.first()));
    // Left out of the catalogue, they still run: a reload counts them.
    QCOMPARE(loaded->commandCount(), 13);
    QCOMPARE(loaded->commandsOf("ConfigurationCommandId").size(), 7);
    QCOMPARE(loaded->commandsOf("DocumentCommandId").size(), 4);
    const int listed = loaded->categories().size();
    QVERIFY2(listed > 7000 && listed < 9000, qPrintable(QString::number(listed)));
    QCOMPARE(errors.last(), error("initialize", QStringLiteral("%1 more entries were left out "
                                                               "of the catalogue.")
                                                    .arg(10000 - listed + 2 - 100)));
}

namespace {

// A command's catalogue entry that takes exactly `bytes` in a reply: the description fills it to
// within the padding, and the name, the entry's last field, the rest at a byte a character.
QVariantMap entryOfSize(const QString& prefix, qint64 bytes)
{
    QVariantMap entry{{"id", prefix}, {"description", QString()}};
    entry.insert("description", QString(int(bytes - BusLimits::elementSize(entry) - 7), 'x'));
    entry.insert("id", prefix + QString(int(bytes - BusLimits::elementSize(entry)), 'x'));
    return entry;
}

} // namespace

// What the table keeps back of a reply for its result, its error and the list's key; the rest
// is the budget of the entries. Alone, an entry is measured when the table loads; filed under 1
// and under " 1" two entries have a budget each then, but a request for " 1" lists both.
void CommandHandlerTest::catalogueKeepsWhatExactlyFits_data()
{
    QTest::addColumn<QList<qint64>>("sizes");
    QTest::addColumn<int>("listed");
    QTest::addColumn<bool>("leftOutAtLoad");
    QTest::addColumn<int>("leftOutOfReply");
    const qint64 budget = BusLimits::maximumBodySize - 256;
    const qint64 half = budget / 2;
    QTest::newRow("alone, exactly fits") << QList<qint64>{budget} << 1 << false << 0;
    QTest::newRow("alone, a byte over") << QList<qint64>{budget + 1} << 0 << true << 0;
    QTest::newRow("two groups, exactly fit")
        << QList<qint64>{half, budget - half} << 2 << false << 0;
    QTest::newRow("two groups, a byte over")
        << QList<qint64>{half, budget - half + 1} << 1 << false << 1;
}

void CommandHandlerTest::catalogueKeepsWhatExactlyFits()
{
    QFETCH(QList<qint64>, sizes);
    QFETCH(int, listed);
    QFETCH(bool, leftOutAtLoad);
    QFETCH(int, leftOutOfReply);
    QJsonObject table;
    QVariantList entries;
    for (int i = 0; i < sizes.size(); ++i) {
        const QVariantMap entry = entryOfSize(QString(QChar('A' + i)), sizes.at(i));
        QCOMPARE(BusLimits::elementSize(entry), sizes.at(i));
        table.insert(entry.value("id").toString(),
                     QJsonObject{{"category", i == 0 ? QJsonValue(" 1") : QJsonValue(1)},
                                 {"description", entry.value("description").toString()},
                                 {"argumentCount", 0}});
        entries.append(entry);
    }
    QVERIFY(writeFile(m_state.filePath("boundary.json"), QJsonDocument(table).toJson()));
    const auto said = [](const LogCapture& log) {
        QStringList texts;
        for (const QString& line : log.messages(QtCriticalMsg)) {
            texts.append(line.section(" ERROR: ", 1));
        }
        return texts;
    };

    std::shared_ptr<const CommandTable> loaded;
    {
        LogCapture log;
        loaded = CommandTable::load(m_state.filePath("boundary.json")).table;
        QVERIFY(loaded != nullptr);
        const QString leftOut = QStringLiteral("\"%1\" left out of the catalogue: the reply would "
                                               "exceed what the bus carries in one message.")
                                    .arg(entries.last().toMap().value("id").toString());
        QCOMPARE(said(log), leftOutAtLoad ? QStringList{leftOut} : QStringList());
    }
    LogCapture log;
    const QVariantList reply = loaded->commandsOf(" 1");
    QCOMPARE(reply, entries.mid(0, listed));
    const QString leftOut =
        QStringLiteral("%1 commands left out of the reply: the categories the request names "
                       "together exceed what the bus carries in one message.")
            .arg(leftOutOfReply);
    QCOMPARE(said(log), leftOutOfReply > 0 ? QStringList{leftOut} : QStringList());
    // The table's margin is enough: what it lets through, the bus carries.
    QCOMPARE(BusLimits::problem(
                 {{"resultId", "Success"}, {"errorId", "Undefined"}, {"commands", reply}}),
             QString());
}

QTEST_GUILESS_MAIN(CommandHandlerTest)
#include "tst_commandhandler.moc"
