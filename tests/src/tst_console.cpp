// The operator console, line by line and notification by notification, against a handler that
// loads the shipped command table and records the requests it is sent instead of running them.
// The in-process fake clients stand behind the proxies the handler links; they are never reached.
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

class RecordingHandler : public CommandHandler
{
public:
    using CommandHandler::CommandHandler;
    QVariantMap process(const QVariantMap& request) override
    {
        requests.append(request);
        return {};
    }
    QList<QVariantMap> requests;
};

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
    void init() { m_log.reset(new LogCapture); }
    void cleanup();
    void lines_data();
    void lines();
    void notifications_data();
    void notifications();

private:
    QStringList logged() const;

    QTemporaryDir m_state;
    RecordingHandler* m_handler = nullptr;
    Console* m_console = nullptr;
    QScopedPointer<LogCapture> m_log;
};

void ConsoleTest::initTestCase()
{
    // The console reads standard input; it must not take what is typed in the terminal.
    ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
    QFile::copy(DEFAULT_COMMAND_TABLE, m_state.filePath("commandTable.json"));
    // The handler fixes the table's path on first use.
    qputenv("STATE_DIRECTORY", m_state.path().toUtf8());
    m_handler = new RecordingHandler(this);
    m_handler->initialize();
    m_console = new Console(m_handler);
}

void ConsoleTest::cleanup()
{
    m_log.reset();
    m_handler->requests.clear();
    QLoggingCategory::setFilterRules(QString());
}

QStringList ConsoleTest::logged() const
{
    QStringList lines;
    for (const LogCapture::Record& record : m_log->records()) {
        lines.append((record.type == QtCriticalMsg ? "critical|" : "debug|") + record.message);
    }
    return lines;
}

void ConsoleTest::lines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QVariantMap>("request");

    const QStringList help = QStringList{"debug|\n\"================== Help ==================\""} +
                             helpLines + QStringList{rule + '\n'};
    const QVariantMap none;
    QTest::newRow("empty") << "" << help << none;
    QTest::newRow("leading blank") << " HELP C" << help << none;
    const QString notFound = "debug|\nCommand 999 not found!";
    QTest::newRow("help unknown") << "HELP 999" << QStringList{notFound} + help << none;
    QTest::newRow("C unknown") << "C 999 a" << QStringList{notFound} + help << none;
    const auto error = [&](const QString& text) {
        return QStringList{"critical|" + text + '\n'} + help;
    };
    QTest::newRow("help alone") << "HELP" << error("No arguments received for help.") << none;
    QTest::newRow("main menu and more")
        << "HELP C 2" << error("Arguments must be of integer type!") << none;
    QTest::newRow("C word") << "Cancel" << error("No arguments received for command action.")
                            << none;
    QTest::newRow("C fraction") << "c 2.5 1" << error("Commands must be of integer type!") << none;

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
        << "hElP   c "
        << QStringList{"debug|\"========== Commands - Main menu ==========\""} +
               menu(ls::CommandCategories::meta) + QStringList{rule} + helpLines
        << none;
    const auto info = [&](int number, const QString& name) {
        return QStringList{
            QStringLiteral("debug|\n========== Command %1 - Info ==========").arg(number),
            QStringLiteral("debug|%1 - %2").arg(number).arg(texts(name)), rule + '\n'};
    };
    QTest::newRow("help category") << "HELP 2" << info(2, "PaperFeedCommandId") << none;
    QTest::newRow("help command, words ignored")
        << "helpme 102 x" << info(102, "SetSetting") << none;
    QTest::newRow("category, arguments ignored")
        << "c 2 5 6"
        << QStringList{"debug|\n========== " + m_handler->getDescription("PaperFeedCommandId") +
                       " - Menu =========="} +
               menu(ls::PaperFeedCommandId::meta) + QStringList{rule + '\n'}
        << none;

    const auto ran = [&](int number, const QString& name) {
        return QStringList{QStringLiteral("debug|\n========== %1 - %2 ==========")
                               .arg(number)
                               .arg(m_handler->getDescription(name)),
                           "debug|\"================== Done ==================\"\n"};
    };
    const auto request = [](int number, const QVariantList& arguments) {
        return QVariantMap{{ls::commandIdKey, "HandleCommand"},
                           {ls::subCommandIdKey, number},
                           {ls::senderIdKey, "CommandHandler"},
                           {ls::argsKey, arguments}};
    };
    QTest::newRow("run with arguments")
        << "C 102 speed 7" << ran(102, "SetSetting") << request(102, {"speed", "7"});
    QTest::newRow("run without, blanks")
        << "Cmd  200 " << ran(200, "LoadPaper") << request(200, {});
}

void ConsoleTest::lines()
{
    QFETCH(QString, line);
    QFETCH(QStringList, records);
    QFETCH(QVariantMap, request);

    QVERIFY(QMetaObject::invokeMethod(m_console, "onTextReceived", Q_ARG(QString, line)));
    QCOMPARE(logged(), records);
    QCOMPARE(m_handler->requests, request.isEmpty() ? QList<QVariantMap>() : QList{request});
}

void ConsoleTest::notifications_data()
{
    QTest::addColumn<QVariantMap>("notification");
    QTest::addColumn<bool>("categoryOn");
    QTest::addColumn<QStringList>("records");

    const QVariantMap complete{{ls::notificationIdKey, "PaperJam"},
                               {ls::actionIdKey, "Show"},
                               {ls::senderIdKey, "PrintManager"}};
    const QStringList invalid{
        "critical|Console::printNotification ERROR: Invalid notification received!"};
    QTest::newRow("complete, category on")
        << complete << true
        << QStringList{"debug|----------- Notification -----------",
                       "debug|NotificationId: \"PaperJam\"", "debug|SenderId: \"PrintManager\"",
                       "debug|------------------------------------"};
    QTest::newRow("complete, category off") << complete << false << QStringList();
    for (const QString& key : {ls::notificationIdKey, ls::actionIdKey, ls::senderIdKey}) {
        QVariantMap lacking = complete;
        lacking.remove(key);
        QTest::newRow(qPrintable("without " + key)) << lacking << true << invalid;
    }
    QTest::newRow("empty, category off") << QVariantMap() << false << invalid;
}

void ConsoleTest::notifications()
{
    QFETCH(QVariantMap, notification);
    QFETCH(bool, categoryOn);
    QFETCH(QStringList, records);

    if (categoryOn) {
        QLoggingCategory::setFilterRules("Console.debug=true");
    }
    emit m_handler->notification(notification);
    QCOMPARE(logged(), records);
}

QTEST_GUILESS_MAIN(ConsoleTest)
#include "tst_console.moc"
