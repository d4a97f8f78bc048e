// The bus adaptor in this process on a private bus: what a client sends reaches the handler
// unpacked, the handler's reply comes back unchanged, and notifications become bus signals.
#include "CommandHandler.h"
#include "CommandHandlerAdaptor.h"
#include "LogCapture.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTest>

namespace {
// Stands in for the command handler behind the adaptor: records the request and answers with
// a reply chosen by the test.
class RecordingHandler : public CommandHandler
{
public:
    QVariantMap process(const QVariantMap& request) override
    {
        received = request;
        return reply;
    }
    QVariantMap received;
    QVariantMap reply;
};

class SignalCatcher : public QObject
{
    Q_OBJECT
public:
    QVariantMap last;
    int count = 0;
public slots:
    void onNotification(const QDBusMessage& message)
    {
        last = qdbus_cast<QVariantMap>(message.arguments().value(0));
        ++count;
    }
};

bool containsBusValues(const QVariant& value)
{
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        return true;
    }
    const QVariantList children = value.userType() == QMetaType::QVariantMap
                                      ? value.toMap().values()
                                      : value.userType() == QMetaType::QVariantList
                                            ? value.toList()
                                            : QVariantList();
    return std::any_of(children.cbegin(), children.cend(), containsBusValues);
}
} // namespace

class CommandHandlerAdaptorTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { delete m_handler; }
    void nestedValuesReachTheHandlerAsPlainContainers();
    void replyTravelsBackUnchanged();
    void notificationBecomesABusSignal();
    void metaObjectAndInterface();
    void secondRegistrationReportsTheNameInUse();

private:
    TestBus m_bus;
    RecordingHandler* m_handler = nullptr;
};

void CommandHandlerAdaptorTest::initTestCase()
{
    QVERIFY(m_bus.start());
    m_handler = new RecordingHandler;
    LogCapture capture;
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=true"));
    new CommandHandlerAdaptor(m_handler);
    QCOMPARE(capture.messages(),
             QStringList{"Successfully registered on DBus: \"com.vellorn.CommandHandler\""});
    QVERIFY(m_bus.waitForBusName(QStringLiteral("com.vellorn.CommandHandler")));
}

void CommandHandlerAdaptorTest::nestedValuesReachTheHandlerAsPlainContainers()
{
    const QVariantMap settings{{"group", "General"}, {"values", QVariantList{1, "two"}}};
    const QVariantMap request{{"commandId", "HandleCommand"},
                              {"subCommandId", 102},
                              {"args", QVariantList{"volume", QVariantMap{{"deep", settings}}}},
                              {"extra", settings}};
    m_handler->reply = CommandHandler::makeReply("Success", "Undefined");
    QString error;
    m_bus.process(request, &error);
    QCOMPARE(error, QString());
    QVERIFY(!containsBusValues(m_handler->received));
    QCOMPARE(m_handler->received, request);
    QCOMPARE(m_handler->received.value("args").value<QVariantList>().size(), 2);
}

void CommandHandlerAdaptorTest::replyTravelsBackUnchanged()
{
    m_handler->reply = QVariantMap{{"resultId", "Failure"},
                                   {"errorId", "InvalidSender"},
                                   {"detailsMap", QVariantMap{{"k", QVariantList{1, 2}}}}};
    QCOMPARE(m_bus.process({{"anything", 1}}), m_handler->reply);
    m_handler->reply = QVariantMap();
    QString error;
    QCOMPARE(m_bus.process({}, &error), QVariantMap());
    QCOMPARE(error, QString());
}

void CommandHandlerAdaptorTest::notificationBecomesABusSignal()
{
    SignalCatcher catcher;
    QVERIFY(m_bus.connection().connect(QString(), QStringLiteral("/"),
                                       QStringLiteral("com.vellorn.CommandHandler"),
                                       QStringLiteral("notification"), &catcher,
                                       SLOT(onNotification(QDBusMessage))));
    const QVariantMap notification{{"notificationId", "PaperJam"},
                                   {"senderId", "PrintManager"},
                                   {"actionId", "Show"}};
    emit m_handler->notification(notification);
    QTRY_COMPARE(catcher.count, 1);
    QCOMPARE(catcher.last, notification);
}

void CommandHandlerAdaptorTest::metaObjectAndInterface()
{
    auto* adaptor = m_handler->findChild<CommandHandlerAdaptor*>();
    QVERIFY(adaptor != nullptr);
    QCOMPARE(adaptor->parent(), m_handler);
    const QMetaObject* meta = adaptor->metaObject();
    QCOMPARE(meta->classInfoCount() - meta->classInfoOffset(), 1);
    QCOMPARE(meta->classInfo(meta->classInfoOffset()).value(), "com.vellorn.CommandHandler");
    const int own = meta->methodOffset();
    QCOMPARE(meta->methodCount() - own, 2);
    QCOMPARE(meta->method(own).methodSignature(), QByteArray("notification(QVariantMap)"));
    QCOMPARE(meta->method(own + 1).methodSignature(), QByteArray("process(QVariantMap)"));
    QCOMPARE(adaptor->qt_metacast("com.vellorn.IDBusAdaptor"), nullptr);
    QVERIFY(adaptor->qt_metacast("ls::IDBusAdaptor") != nullptr);
}

void CommandHandlerAdaptorTest::secondRegistrationReportsTheNameInUse()
{
    // A second connection of this process asks for the name the first one holds.
    const QString name = QStringLiteral("second");
    QDBusConnection other = QDBusConnection::connectToBus(m_bus.address(), name);
    QVERIFY(!other.registerService(QStringLiteral("com.vellorn.CommandHandler")));
    QCOMPARE(other.lastError().message(), QString());
    QDBusConnection::disconnectFromBus(name);
}

QTEST_GUILESS_MAIN(CommandHandlerAdaptorTest)
#include "tst_commandhandleradaptor.moc"
