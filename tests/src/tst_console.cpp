// The operator console in-process, apart from its language (the service test's): one made
// while standard input is closed says at once that it is closed; and its print-out of the
// notifications the handler emits: with the console's logging category switched on, a
// notification's id and sender; one that lacks a key is refused with one error line.
#include "CommandHandler.h"
#include "Console.h"
#include "ConsoleTexts.h"
#include "DirectCarrier.h"
#include "LogCapture.h"

#include <QLoggingCategory>
#include <QTest>

#include <unistd.h>

class ConsoleTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void closedWithoutInput();
    void printsNotifications_data();
    void printsNotifications();

private:
    DirectCarrier m_carrier;
    CommandHandler m_handler{m_carrier};
};

void ConsoleTest::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("Console.debug=true"));
}

// The one console of the test: every console made connects to the handler's notifications.
void ConsoleTest::closedWithoutInput()
{
    const int input = ::dup(STDIN_FILENO);
    ::close(STDIN_FILENO);
    LogCapture log;
    new Console(&m_handler);
    QCOMPARE(::dup2(input, STDIN_FILENO), STDIN_FILENO);
    ::close(input);
    QTRY_COMPARE(log.messages(QtInfoMsg), QStringList{consoleText::consoleClosed});
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
