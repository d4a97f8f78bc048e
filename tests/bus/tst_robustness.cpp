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

QByteArray defaultTable()
{
    QFile table(QStringLiteral(DEFAULT_COMMAND_TABLE));
    table.open(QIODevice::ReadOnly);
    return table.readAll();
}

// The default table with one field of an entry replaced.
QByteArray defaultTableWith(const QVector<std::tuple<QString, QString, QJsonValue>>& changes)
{
    QJsonObject table = QJsonDocument::fromJson(defaultTable()).object();
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
    void wrongSignatures_data();
    void wrongSignatures();
    void everyValueTypeInEveryField_data();
    void everyValueTypeInEveryField();
    void hugeRequest();
    void deepNesting_data();
    void deepNesting();
    // These restart the service.
    void everySiblingGone();
    void brokenCommandTable_data();
    void brokenCommandTable();
    void standardInputClosed();

private:
    void restartService(const QByteArray& table, const QString& shellRedirection = QString());
    void expectEveryRequestAnswered();
    QDBusMessage send(const QDBusMessage& call) const;
    QDBusMessage processCall() const;
    void expectFailureReply(const QVariantMap& request);

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

void RobustnessTest::cleanup()
{
    QCOMPARE(m_service->state(), QProcess::Running);
    const QVariantMap reply =
        m_bus.process({{"commandId", "GetCommandCategories"}, {"senderId", "WebServer"}});
    QCOMPARE(reply.value("resultId"), QVariant("Success"));
    QVERIFY(!reply.value("commandCategories").toList().isEmpty());
}

QDBusMessage RobustnessTest::processCall() const
{
    return QDBusMessage::createMethodCall(busName, QStringLiteral("/"), busName,
                                          QStringLiteral("process"));
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

void RobustnessTest::expectFailureReply(const QVariantMap& request)
{
    QString error;
    const QVariantMap reply = m_bus.process(request, &error);
    QCOMPARE(error, QString());
    QCOMPARE(reply.value("resultId"), QVariant("Failure"));
    QVERIFY(reply.contains("errorId"));
}

void RobustnessTest::wrongSignatures_data()
{
    QTest::addColumn<QVariantList>("arguments");
    QTest::newRow("no argument") << QVariantList();
    QTest::newRow("string") << QVariantList{"GetCommands"};
    QTest::newRow("two dictionaries") << QVariantList{QVariantMap(), QVariantMap()};
    QTest::newRow("dictionary of strings")
        << QVariantList{QVariant::fromValue(QMap<QString, QString>{{"commandId", "x"}})};
    QTest::newRow("array") << QVariantList{QVariant(QVariantList{1, 2})};
    QTest::newRow("integer") << QVariantList{42};
}

void RobustnessTest::wrongSignatures()
{
    QFETCH(QVariantList, arguments);
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QDBusMessage call = processCall();
    call.setArguments(arguments);
    const QDBusMessage reply = send(call);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
}

void RobustnessTest::everyValueTypeInEveryField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    const QList<QPair<const char*, QVariant>> values = {
        {"int", 202},
        {"negative", -2147483647 - 1},
        {"uint64", QVariant::fromValue<qulonglong>(18446744073709551615ULL)},
        {"double", 2.02e2},
        {"bool", true},
        {"invalid utf-8 and nul as bytes", QByteArray("\xff\x00\xfe", 3)},
        {"string list", QStringList{"HandleCommand", "202"}},
        {"map", QVariantMap{{"commandId", "HandleCommand"}}},
        {"list of maps", QVariantList{QVariantMap{{"a", 1}}, QVariantMap()}},
        {"structure", structure()},
        {"object path", QVariant::fromValue(QDBusObjectPath("/a/b"))},
        {"signature", QVariant::fromValue(QDBusSignature("a{sv}"))},
        {"variant in variant", QVariant::fromValue(QDBusVariant(QVariant(202)))},
        {"empty string", QString()},
        {"one megabyte", QString(1 << 20, QLatin1Char('x'))},
        {"non-latin", QStringLiteral("\u6f22\u5b57 \U0001F600 \u202e")},
        {"escapes", QStringLiteral("\\\"%1%n\t\r\n\033[1;4m")},
    };
    for (const QString& field : requestKeys) {
        for (const auto& value : values) {
            QTest::addRow("%s %s", qPrintable(field), value.first) << field << value.second;
        }
    }
}

void RobustnessTest::everyValueTypeInEveryField()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    // Otherwise valid requests with one field replaced: each kind of request must still be
    // answered with a reply map.
    const QList<QVariantMap> requests = {
        {{"commandId", "HandleCommand"},
         {"senderId", "WebServer"},
         {"subCommandId", 202},
         {"args", QVariantList{3}}},
        {{"commandId", "GetCommands"}, {"senderId", "WebServer"}, {"category", "IpcCommandId"}},
        {{"commandId", "HandleCommand"}, {"senderId", "WebServer"}, {"subCommandId", 600}},
    };
    for (QVariantMap request : requests) {
        request.insert(field, value);
        QString error;
        const QVariantMap reply = m_bus.process(request, &error);
        QCOMPARE(error, QString());
        QVERIFY(reply.value("resultId") == "Success" || reply.value("resultId") == "Failure");
        QVERIFY(reply.contains("errorId"));
    }
}

void RobustnessTest::hugeRequest()
{
    QVariantMap request{{"commandId", "GetCommandCategories"}, {"senderId", "WebServer"}};
    for (int i = 0; i < 20000; ++i) {
        request.insert(QStringLiteral("key%1").arg(i), QVariantList{i, QString::number(i)});
    }
    QVariantList manyArguments;
    for (int i = 0; i < 20000; ++i) {
        manyArguments << i;
    }
    request.insert("args", manyArguments);
    QString error;
    QCOMPARE(m_bus.process(request, &error).value("resultId"), QVariant("Success"));
    QCOMPARE(error, QString());

    request.insert("commandId", "HandleCommand");
    request.insert("subCommandId", 202);
    expectFailureReply(request);
}

void RobustnessTest::deepNesting_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("deliverable");
    // Each level is a variant holding a dictionary (three containers); with the request's own
    // dictionary and argument array, the bus's limit of 64 nested containers lies between
    // 18 and 20 levels.
    QTest::newRow("moderate") << 10 << true;
    QTest::newRow("at the limit") << 18 << true;
    QTest::newRow("just beyond the limit") << 20 << false;
    QTest::newRow("far beyond the limit") << 40 << false;
}

void RobustnessTest::deepNesting()
{
    QFETCH(int, depth);
    QFETCH(bool, deliverable);
    const QVariantMap request{{"commandId", "HandleCommand"},
                              {"senderId", "WebServer"},
                              {"subCommandId", 202},
                              {"args", QVariantList{nestedMaps(depth)}}};
    QDBusMessage call = processCall();
    call << request;
    const QDBusMessage reply = send(call);
    if (deliverable) {
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QVERIFY(reply.arguments().size() == 1);
    } else {
        // Refused before it reaches the service, by the library or the bus.
        QVERIFY(reply.type() != QDBusMessage::ReplyMessage);
    }
}

void RobustnessTest::restartService(const QByteArray& table, const QString& shellRedirection)
{
    m_service->stop();
    QVERIFY(QTest::qWaitFor(
        [&] { return !m_bus.connection().interface()->isServiceRegistered(busName).value(); },
        10000));
    m_bus.setCommandTable(table);
    if (shellRedirection.isEmpty()) {
        m_service = m_bus.startService();
        return;
    }
    m_service = new ServiceProcess(this);
    m_service->start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"), QStringLiteral("exec \"$0\" %1").arg(shellRedirection),
                      QStringLiteral(COMMAND_HANDLER_BINARY)});
}

void RobustnessTest::expectEveryRequestAnswered()
{
    QVERIFY(m_bus.waitForBusName(busName));
    for (const QVariantMap& request : everyRequest()) {
        QString error;
        const QVariantMap reply = m_bus.process(request, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(reply.value("resultId") == "Success" || reply.value("resultId") == "Failure");
        QVERIFY(reply.contains("errorId"));
    }
}

void RobustnessTest::everySiblingGone()
{
    // Announced ready, but none of them is there.
    expectEveryRequestAnswered();
    // A command no sibling could carry out is no success.
    const QVariantMap documents = m_bus.process(
        {{"commandId", "HandleCommand"}, {"senderId", "WebServer"}, {"subCommandId", 300}});
    QCOMPARE(documents, QVariantMap({{"resultId", "Failure"}, {"errorId", "Undefined"}}));
}

void RobustnessTest::brokenCommandTable_data()
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

void RobustnessTest::brokenCommandTable()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, logLine);
    restartService(table);
    expectEveryRequestAnswered();
    QVERIFY2(m_service->waitForOutput(logLine), qPrintable(m_service->output()));
}

void RobustnessTest::standardInputClosed()
{
    restartService(defaultTable(), QStringLiteral("<&-"));
    expectEveryRequestAnswered();
    // The console reads /dev/null rather than whatever the process opened first.
    QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/0").arg(m_service->processId())),
             QStringLiteral("/dev/null"));
}

QTEST_GUILESS_MAIN(RobustnessTest)
#include "tst_robustness.moc"
