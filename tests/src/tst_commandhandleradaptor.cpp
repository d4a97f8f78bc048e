// The bus adaptor in this process on a private bus: what a client sends reaches the handler
// unpacked, the handler's reply comes back unchanged, and notifications become bus signals.
// The in-process fake clients stand in for the real client libraries behind the handler.
#include "CommandHandler.h"
#include "CommandHandlerAdaptor.h"
#include "LogCapture.h"
#include "TestBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QLoggingCategory>
#include <QTest>

namespace {

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

} // namespace

class CommandHandlerAdaptorTest : public QObject
{
    Q_OBJECT
public slots:
    void onNotification(const QDBusMessage& message)
    {
        m_notifications.append(qdbus_cast<QVariantMap>(message.arguments().value(0)));
    }

private slots:
    void initTestCase();
    void cleanupTestCase() { delete m_handler; }
    void requestAndReplyTravelUnchanged();
    void notificationBecomesABusSignal();

private:
    TestBus m_bus;
    RecordingHandler* m_handler = nullptr;
    QList<QVariantMap> m_notifications;
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

void CommandHandlerAdaptorTest::requestAndReplyTravelUnchanged()
{
    const QVariantMap settings{{"group", "General"}, {"values", QVariantList{1, "two"}}};
    const QVariantMap request{{"commandId", "HandleCommand"},
                              {"subCommandId", 102},
                              {"args", QVariantList{"volume", QVariantMap{{"deep", settings}}}}};
    m_handler->reply = {
        {"resultId", "Failure"}, {"errorId", "InvalidSender"}, {"detailsMap", settings}};
    QCOMPARE(m_bus.process(request), m_handler->reply);
    QCOMPARE(m_handler->received, request);
}

void CommandHandlerAdaptorTest::notificationBecomesABusSignal()
{
    QVERIFY(m_bus.connection().connect(
        QString(), QStringLiteral("/"), QStringLiteral("com.vellorn.CommandHandler"),
        QStringLiteral("notification"), this, SLOT(onNotification(QDBusMessage))));
    const QVariantMap notification{
        {"notificationId", "PaperJam"}, {"senderId", "PrintManager"}, {"actionId", "Show"}};
    emit m_handler->notification(notification);
    QTRY_COMPARE(m_notifications, QList<QVariantMap>{notification});
}

QTEST_GUILESS_MAIN(CommandHandlerAdaptorTest)
#include "tst_commandhandleradaptor.moc"
