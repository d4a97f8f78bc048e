// Faults around the real service: every sibling gone, a command table whose entries are
// broken in every way, standard input closed. The service answers every request of the
// default table's commands with a reply map and never crashes.
#include "ServiceProcess.h"
#include "TestBus.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {
const QString busName = QStringLiteral("com.vellorn.CommandHandler");

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

class FaultsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void everySiblingGone();
    void brokenCommandTable_data();
    void brokenCommandTable();
    void standardInputClosed();

private:
    ServiceProcess* startService(const QString& shellRedirection = QString());
    void expectEveryRequestAnswered();

    TestBus m_bus;
    ServiceProcess* m_service = nullptr;
};

void FaultsTest::initTestCase()
{
    QVERIFY(m_bus.start());
    // Announced ready, but none of them is there.
    m_bus.markSiblingsReady();
}

void FaultsTest::cleanup()
{
    m_bus.setCommandTable(defaultTable());
    if (m_service == nullptr) {
        return;
    }
    const bool survived = m_service->state() == QProcess::Running;
    m_service->stop();
    const QString output = m_service->output();
    delete m_service;
    m_service = nullptr;
    QVERIFY2(survived, qPrintable(output));
    QVERIFY(QTest::qWaitFor(
        [&] { return !m_bus.connection().interface()->isServiceRegistered(busName).value(); },
        10000));
}

ServiceProcess* FaultsTest::startService(const QString& shellRedirection)
{
    if (shellRedirection.isEmpty()) {
        m_service = m_bus.startService();
    } else {
        m_service = new ServiceProcess;
        m_service->start(QStringLiteral("/bin/sh"),
                         {QStringLiteral("-c"),
                          QStringLiteral("exec \"$0\" %1").arg(shellRedirection),
                          QStringLiteral(COMMAND_HANDLER_BINARY)});
    }
    return m_service;
}

void FaultsTest::expectEveryRequestAnswered()
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

void FaultsTest::everySiblingGone()
{
    startService();
    expectEveryRequestAnswered();
    // A command no sibling could carry out is no success.
    const QVariantMap documents = m_bus.process(
        {{"commandId", "HandleCommand"}, {"senderId", "WebServer"}, {"subCommandId", 300}});
    QCOMPARE(documents, QVariantMap({{"resultId", "Failure"}, {"errorId", "Undefined"}}));
}

void FaultsTest::brokenCommandTable_data()
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

void FaultsTest::brokenCommandTable()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, logLine);
    m_bus.setCommandTable(table);
    startService();
    expectEveryRequestAnswered();
    QVERIFY2(m_service->waitForOutput(logLine), qPrintable(m_service->output()));
}

void FaultsTest::standardInputClosed()
{
    startService(QStringLiteral("<&-"));
    expectEveryRequestAnswered();
    // The console reads /dev/null rather than whatever the process opened first.
    QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/0").arg(m_service->processId())),
             QStringLiteral("/dev/null"));
}

QTEST_GUILESS_MAIN(FaultsTest)
#include "tst_faults.moc"
