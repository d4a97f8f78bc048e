// Malformed and hostile calls on the bus against the real service binary: every call gets a
// reply (a failure map, or the bus's own error for a wrong signature), the service stays up,
// and the next valid call is answered.
#include "ServiceProcess.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusSignature>
#include <QDBusVariant>
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

private:
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
    QCOMPARE(reply.value("commandCategories").toList().size(), 6);
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

QTEST_GUILESS_MAIN(RobustnessTest)
#include "tst_robustness.moc"
