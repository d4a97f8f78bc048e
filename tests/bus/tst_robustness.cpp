// Malformed and hostile calls and faults around the real service binary: every call gets a reply
// (a failure map, or the bus's own error for a wrong signature), the service stays up, and the
// next valid call is answered; with every sibling gone, with a command table whose entries are
// broken in every way, and with standard input closed, every request of the default table's
// commands is answered with a reply map.
#include "ServiceProcess.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {
const QString busName = QStringLiteral("com.vellorn.CommandHandler");
const QStringList requestKeys = {"commandId", "senderId", "subCommandId", "args", "category"};

QVariant nestedMaps(int depth)
{
    QVariant value = QStringLiteral("bottom");
    for (int level = 0; level < depth; ++level) {
        value = QVariantMap{{QStringLiteral("level"), value}};
    }
    return value;
}

QVariant structure()
{
    QDBusArgument argument;
    argument.beginStructure();
    argument << 1 << QStringLiteral("two") << 3.0;
    argument.endStructure();
    return QVariant::fromValue(argument);
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
    for (int value = 100; value <= 606; ++value) {
        if (value % 100 > 7) {
            continue;
        }
        requests.append({{"commandId", "HandleCommand"},
                         {"senderId", "WebServer"},
                         {"subCommandId", value},
                         {"args", QVariantList{1, "x"}.mid(0, value % 2 + 1)}});
        requests.append(
            {{"commandId", "HandleCommand"}, {"senderId", "WebServer"}, {"subCommandId", value}});
    }
    return requests;
}

// A reply map as every request must get one.
bool isAnswer(const QVariantMap& reply)
{
    const QVariant result = reply.value("resultId");
    return (result == "Success" || result == "Failure") && reply.contains("errorId");
}

// The default table with one field of an entry replaced.
QByteArray defaultTableWith(const QVector<std::tuple<QString, QString, QJsonValue>>& changes)
{
    QJsonObject table = QJsonDocument::fromJson(TestBus::defaultCommandTable()).object();
    for (const auto& [entry, field, value] : changes) {
        QJsonObject changed = table.value(entry).toObject();
        changed.insert(field, value);
        table.insert(entry, changed);
    }
    return QJsonDocument(table).toJson();
}

QJsonValue nestedArrays(int depth)
{
    const QByteArray text = QByteArray(depth, '[') + "\"deep\"" + QByteArray(depth, ']');
    return QJsonDocument::fromJson(text).array();
}
} // namespace

class RobustnessTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { m_service->output(); }
    void cleanup();
    void wrongSignaturesAndDeepNesting_data();
    void wrongSignaturesAndDeepNesting();
    void hostileValueInEveryField_data();
    void hostileValueInEveryField();
    // Announced ready, but none of the siblings is there.
    void hugeRequestAndEveryRequestWithoutSiblings();
    // This restarts the service.
    void brokenCommandTableAndStandardInputClosed_data();
    void brokenCommandTableAndStandardInputClosed();

private:
    void expectEveryRequestAnswered();
    QDBusMessage send(const QDBusMessage& call) const;

    TestBus m_bus;
    ServiceProcess* m_service = nullptr;
};

void RobustnessTest::initTestCase()
{
    QVERIFY(m_bus.start());
    m_bus.markSiblingsReady();
    m_service = m_bus.startService();
    QVERIFY(m_bus.waitForBusName(busName));
}

// The service is still up and answers; a command that no sibling could carry out, as none is
// there, is no success.
void RobustnessTest::cleanup()
{
    QCOMPARE(m_service->state(), QProcess::Running);
    const QVariantMap reply =
        m_bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "WebServer"}});
    QVERIFY(!reply.value("commandCategories").toList().isEmpty());
    QCOMPARE(m_bus.process(TestBus::command(300)),
             QVariantMap({{"resultId", "Failure"}, {"errorId", "Undefined"}}));
}

QDBusMessage RobustnessTest::send(const QDBusMessage& call) const
{
    // A connection of its own: the bus drops a client that sends what it refuses.
    const QString name = QStringLiteral("hostile-client");
    QDBusMessage reply;
    {
        QDBusConnection connection = QDBusConnection::connectToBus(m_bus.address(), name);
        QDBusPendingCall pending = connection.asyncCall(call, 15000);
        if (QTest::qWaitFor([&] { return pending.isFinished(); }, 20000)) {
            reply = pending.reply();
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return reply;
}

void RobustnessTest::wrongSignaturesAndDeepNesting_data()
{
    QTest::addColumn<QVariantList>("arguments");
    // The bus's error for the call: none when the service answers.
    QTest::addColumn<QString>("error");
    const QString unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
    QTest::newRow("no argument") << QVariantList() << unknownMethod;
    QTest::newRow("two dictionaries")
        << QVariantList{QVariantMap(), QVariantMap()} << unknownMethod;
    QTest::newRow("dictionary of strings")
        << QVariantList{QVariant::fromValue(QMap<QString, QString>{{"commandId", "x"}})}
        << unknownMethod;
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

void RobustnessTest::wrongSignaturesAndDeepNesting()
{
    QFETCH(QVariantList, arguments);
    QFETCH(QString, error);
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QDBusMessage call = TestBus::processCall({});
    call.setArguments(arguments);
    const QDBusMessage reply = send(call);
    QCOMPARE(reply.type(),
             error.isEmpty() ? QDBusMessage::ReplyMessage : QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), error == "*" ? reply.errorName() : error);
}

void RobustnessTest::hostileValueInEveryField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    // The kinds of value that take different ways through the unpacking and the checks.
    const QList<QPair<const char*, QVariant>> values = {
        {"int", 202},
        {"uint64", QVariant::fromValue<qulonglong>(18446744073709551615ULL)},
        {"double", 2.02e2},
        {"invalid utf-8 and nul as bytes", QByteArray("\xff\x00\xfe", 3)},
        {"string list", QStringList{"HandleCommand", "202"}},
        {"map", QVariantMap{{"commandId", "HandleCommand"}}},
        {"structure", structure()},
        {"object path", QVariant::fromValue(QDBusObjectPath("/a/b"))},
        {"variant in variant", QVariant::fromValue(QDBusVariant(QVariant(202)))},
        {"empty string", QString()},
        {"non-latin and escapes", QStringLiteral("\u6f22\U0001F600 \u202e\\\"%1%n\t\r\n\033[1;4m")},
    };
    for (const QString& field : requestKeys) {
        for (const auto& value : values) {
            QTest::addRow("%s %s", qPrintable(field), value.first) << field << value.second;
        }
    }
}

void RobustnessTest::hostileValueInEveryField()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    // Otherwise valid requests with one field replaced: each kind of request must still be
    // answered with a reply map.
    const QList<QVariantMap> requests = {
        TestBus::command(202, {3}),
        {{"commandId", "GetCommands"}, {"senderId", "WebServer"}, {"category", "IpcCommandId"}},
        TestBus::command(600)};
    for (QVariantMap request : requests) {
        request.insert(field, value);
        QVERIFY(isAnswer(m_bus.process(request)));
    }
}

void RobustnessTest::hugeRequestAndEveryRequestWithoutSiblings()
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
    expectEveryRequestAnswered();
}

void RobustnessTest::expectEveryRequestAnswered()
{
    QVERIFY(m_bus.waitForBusName(busName));
    for (const QVariantMap& request : everyRequest()) {
        QVERIFY(isAnswer(m_bus.process(request)));
    }
}

void RobustnessTest::brokenCommandTableAndStandardInputClosed_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("logLine");
    // A table that cannot be read at all stops the service at start (tst_startup).
    QTest::newRow("wrong types in every field") << QByteArray(R"({
            "PaperFeedCommandId": "not an object",
            "IpcCommandId": 6,
            "FeedLines": {"category": 2, "description": ["a"], "argumentCount": "one",
                          "argumentTypes": "lines", "function": 7, "returnType": {}},
            "LoadPaper": {"category": "PaperFeedCommandId", "description": null,
                          "argumentCount": -3, "argumentTypes": [1, null, "x"],
                          "function": ["loadPaper"], "returnType": "void"},
            "GetDocuments": {"category": "DocumentCommandId", "argumentCount": 1e300,
                             "function": "documents", "returnType": "QVariantList"},
            "RunHeadTest": {"category": "IpcCommandId", "argumentCount": true},
            "GetSettings": [],
            "EmbossCommandId": {},
            "TestingCommandId": {"description": null},
            "SetCopies": {"category": "EmbossCommandId", "description": null, "argumentCount": 2,
                          "argumentTypes": [null, {"name": null, "type": "int"}],
                          "function": "setCopies", "returnType": "void"}
        })") << QString("Parameter");
    // Names the client inherits from QObject are no commands: calling them would delete the
    // client under the next command.
    QTest::newRow("methods of QObject")
        << defaultTableWith({{"LoadPaper", "function", "deleteLater"},
                             {"EjectPaper", "function", "destroyed"},
                             {"GetDocuments", "function", "deleteLater"}})
        << QString("ERROR: Backend method \"deleteLater\" cannot be called.");
    // Deeper than a reply can carry: the bus would drop the service, and marshalling the
    // deepest aborts the process.
    QTest::newRow("nested 29 and 1000 levels")
        << defaultTableWith({{"FeedLines", "description", nestedArrays(29)},
                             {"PaperFeedCommandId", "description", nestedArrays(1000)},
                             {"SetCopies", "argumentTypes", nestedArrays(29)}})
        << QString("ERROR: description of \"PaperFeedCommandId\" left out of the catalogue: it "
                   "is nested deeper than the bus carries.");
    // Forty paper-feed commands of a megabyte each do not fit in one reply.
    QVector<std::tuple<QString, QString, QJsonValue>> large;
    for (int i = 10; i < 50; ++i) {
        large.append({QStringLiteral("Large%1").arg(i), "category", "PaperFeedCommandId"});
        large.append({QStringLiteral("Large%1").arg(i), "description", QString(1 << 20, 'x')});
    }
    QTest::newRow("larger than one reply")
        << defaultTableWith(large)
        << QString("\"Large42\" left out of the catalogue: the reply would exceed what the bus "
                   "carries in one message.");
}

void RobustnessTest::brokenCommandTableAndStandardInputClosed()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, logLine);
    m_service->stop();
    QTRY_VERIFY(!m_bus.connection().interface()->isServiceRegistered(busName).value());
    m_bus.setCommandTable(table);
    m_service = new ServiceProcess(this);
    m_service->start("/bin/sh", {"-c", "exec \"$0\" <&-", QStringLiteral(COMMAND_HANDLER_BINARY)});
    expectEveryRequestAnswered();
    QVERIFY2(m_service->waitForOutput(logLine), qPrintable(m_service->output()));
    // The console reads /dev/null rather than whatever the process opened first.
    QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/0").arg(m_service->processId())),
             QStringLiteral("/dev/null"));
}

QTEST_GUILESS_MAIN(RobustnessTest)
#include "tst_robustness.moc"
