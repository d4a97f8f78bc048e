// The operator console, line by line and notification by notification, driving a handler that
// loads the shipped command table. The handler links the real client libraries with the system
// bus at a socket that does not exist: a command the console runs fails at its sibling.
#include "CommandHandler.h"
#include "Console.h"
#include "LogCapture.h"
#include "ls/Enums.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {
// Log records read "<level>|<message>", so that a failure shows both.
const QString rule = QStringLiteral("debug|\"==========================================\"");
const QStringList helpLines{"debug|\"HELP C Display commands main menu info.\"",
                            "debug|\"HELP [cmd_nr] Display command info.\"",
                            "debug|\"C [cmd_nr] Enter category / Run command.\""};
} // namespace

class ConsoleTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void input_data();
    void input();

private:
    QTemporaryDir m_state;
    CommandHandler* m_handler = nullptr;
};

void ConsoleTest::initTestCase()
{
    // The console reads standard input; it must not take what is typed in the terminal.
    ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_state.filePath("none")));
    QFile::copy(DEFAULT_COMMAND_TABLE, m_state.filePath("commandTable.json"));
    qputenv("STATE_DIRECTORY", m_state.path().toUtf8());
    m_handler = new CommandHandler(this);
    QVERIFY(m_handler->initialize());
    new Console(m_handler);
}

void ConsoleTest::input_data()
{
    // A line typed, or a notification with the console's logging category on or off.
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QStringList>("records");

    const QStringList help = QStringList{"debug|\n\"================== Help ==================\""} +
                             helpLines + QStringList{rule + '\n'};
    QTest::newRow("empty") << QVariant("") << help;
    QTest::newRow("leading blank") << QVariant(" HELP C") << help;
    const QString notFound = "debug|\nCommand 999 not found!";
    QTest::newRow("help unknown") << QVariant("HELP 999") << QStringList{notFound} + help;
    QTest::newRow("C unknown") << QVariant("C 999 a") << QStringList{notFound} + help;
    const auto error = [&](const QString& text) {
        return QStringList{"critical|" + text + '\n'} + help;
    };
    QTest::newRow("help alone") << QVariant("HELP") << error("No arguments received for help.");
    QTest::newRow("main menu and more")
        << QVariant("HELP C 2") << error("Arguments must be of integer type!");
    QTest::newRow("C word") << QVariant("Cancel")
                            << error("No arguments received for command action.");
    QTest::newRow("C fraction") << QVariant("c 2.5 1")
                                << error("Commands must be of integer type!");

    const auto texts = [&](const QString& name) {
        return m_handler->getDescription(name) + ' ' + m_handler->getArgumentsList(name);
    };
    const auto menu = [&](const ls::MetaEnum& enumeration) {
        QStringList lines;
        for (const ls::MetaEnum::Entry& entry : enumeration) {
            lines.append(QStringLiteral("debug|%1 \t %2").arg(entry.value).arg(texts(entry.key)));
        }
        return lines;
    };
    QTest::newRow("main menu, mixed case and blanks")
        << QVariant("hElP   c ")
        << QStringList{"debug|\"========== Commands - Main menu ==========\""} +
               menu(ls::CommandCategories::meta) + QStringList{rule} + helpLines;
    const auto info = [&](int number, const QString& name) {
        return QStringList{
            QStringLiteral("debug|\n========== Command %1 - Info ==========").arg(number),
            QStringLiteral("debug|%1 - %2").arg(number).arg(texts(name)), rule + '\n'};
    };
    QTest::newRow("help category") << QVariant("HELP 2") << info(2, "PaperFeedCommandId");
    QTest::newRow("help command, words ignored")
        << QVariant("helpme 102 x") << info(102, "SetSetting");
    QTest::newRow("category, arguments ignored")
        << QVariant("c 2 5 6")
        << QStringList{"debug|\n========== " + m_handler->getDescription("PaperFeedCommandId") +
                       " - Menu =========="} +
               menu(ls::PaperFeedCommandId::meta) + QStringList{rule + '\n'};

    // The request goes to the handler from the console, with the words after the number as its
    // arguments: the sibling call is what fails.
    const auto ran = [&](int number, const QString& name, const QString& method) {
        return QStringList{
            QStringLiteral("debug|\n========== %1 - %2 ==========")
                .arg(number)
                .arg(m_handler->getDescription(name)),
            "critical|SiblingLink::call ERROR: com.vellorn.PrintManager." + method +
                " failed: org.freedesktop.DBus.Error.Disconnected Not connected to D-Bus server",
            "debug|\"================== Done ==================\"\n"};
    };
    QTest::newRow("run with arguments")
        << QVariant("C 202 7") << ran(202, "FeedLines", "feedLines");
    QTest::newRow("run without, blanks")
        << QVariant("Cmd  200 ") << ran(200, "LoadPaper", "loadPaper");

    const QVariantMap complete{{ls::notificationIdKey, "PaperJam"},
                               {ls::actionIdKey, "Show"},
                               {ls::senderIdKey, "PrintManager"}};
    QTest::newRow("notification") << QVariant(QVariantList{complete, true})
                                  << QStringList{"debug|----------- Notification -----------",
                                                 "debug|NotificationId: \"PaperJam\"",
                                                 "debug|SenderId: \"PrintManager\"",
                                                 "debug|------------------------------------"};
    QTest::newRow("notification, category off")
        << QVariant(QVariantList{complete, false}) << QStringList();
    const QStringList invalid{
        "critical|Console::printNotification ERROR: Invalid notification received!"};
    for (const QString& key : {ls::notificationIdKey, ls::actionIdKey, ls::senderIdKey}) {
        QVariantMap lacking = complete;
        lacking.remove(key);
        QTest::newRow(qPrintable("without " + key))
            << QVariant(QVariantList{lacking, true}) << invalid;
    }
    QTest::newRow("empty, category off") << QVariant(QVariantList{QVariantMap(), false}) << invalid;
}

void ConsoleTest::input()
{
    QFETCH(QVariant, input);
    QFETCH(QStringList, records);

    const QVariantList notification = input.toList();
    QLoggingCategory::setFilterRules(notification.value(1).toBool() ? "Console.debug=true" : "");
    LogCapture capture;
    if (notification.isEmpty()) {
        QVERIFY(QMetaObject::invokeMethod(m_handler->findChild<Console*>(), "onTextReceived",
                                          Q_ARG(QString, input.toString())));
    } else {
        emit m_handler->notification(notification.constFirst().toMap());
    }
    QStringList logged;
    for (const auto& [type, message] : capture.records()) {
        logged.append((type == QtCriticalMsg ? "critical|" : "debug|") + message);
    }
    QCOMPARE(logged, records);
}

QTEST_GUILESS_MAIN(ConsoleTest)
#include "tst_console.moc"
