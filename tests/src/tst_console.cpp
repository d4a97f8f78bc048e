// The operator console's print-out of the notifications the handler emits, in-process: with
// the console's logging category switched on, a notification's id and sender; one that lacks a
// key of a notification is refused with one error line and prints nothing else.
#include "CommandHandler.h"
#include "Console.h"
#include "DirectCarrier.h"
#include "LogCapture.h"

#include <QLoggingCategory>
#include <QTest>

class ConsoleTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void printsNotifications_data();
    void printsNotifications();

private:
    DirectCarrier m_carrier;
    CommandHandler m_handler{m_carrier};
};

void ConsoleTest::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("Console.debug=true"));
    new Console(&m_handler);
}

void ConsoleTest::printsNotifications_data()
{
    QTest::addColumn<QVariantMap>("notification");
    QTest::addColumn<QStringList>("printed");
    const QVariantMap complete{
        {"notificationId", "paper-out"}, {"actionId", "stop"}, {"senderId", "PrintManager"}};
    QTest::newRow("complete") << complete
                              << QStringList{"----------- Notification -----------",
                                             "NotificationId: \"paper-out\"",
                                             "SenderId: \"PrintManager\"",
                                             "------------------------------------"};
    const QStringList refused{"Console::printNotification ERROR: Invalid notification received!"};
    for (const char* key : {"notificationId", "actionId", "senderId"}) {
        QVariantMap lacking = complete;
        lacking.remove(key);
        QTest::addRow("without %s", key) << lacking << refused;
    }
}

void ConsoleTest::printsNotifications()
{
    QFETCH(QVariantMap, notification);
    QFETCH(QStringList, printed);
    LogCapture log;
    emit m_handler.notification(notification);
    const QStringList lines = log.messages(QtDebugMsg) + log.messages(QtCriticalMsg);
    QCOMPARE(lines, printed);
}

QTEST_GUILESS_MAIN(ConsoleTest)
#include "tst_console.moc"
