// The operator console, record by record, against a handler that loads the shipped command table
// and records the requests it is sent instead of running them (the in-process fake clients behind
// the proxies are linked, but never reached).
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
        return makeReply(ls::ResultId::Success, ls::undefinedKey);
    }
    QList<QVariantMap> requests;
};

// Records are compared as "<level>|<message>", so that a failure shows both.
QString debug(const QString& message)
{
    return "debug|" + message;
}

QString quoted(const QString& text)
{
    return '"' + text + '"';
}

const QString rule = QStringLiteral("==========================================");
const QStringList helpLines{debug(quoted("HELP C Display commands main menu info.")),
                            debug(quoted("HELP [cmd_nr] Display command info.")),
                            debug(quoted("C [cmd_nr] Enter category / Run command."))};

QStringList helpBlock(const QString& before = {})
{
    const QStringList first = before.isEmpty() ? QStringList() : QStringList{before};
    return first + QStringList{debug("\n" + quoted("================== Help =================="))} +
           helpLines + QStringList{debug(quoted(rule) + "\n")};
}

QString error(const QString& text)
{
    return "critical|" + text + "\n";
}

QString notFound(int number)
{
    return debug(QStringLiteral("\nCommand %1 not found!").arg(number));
}

QVariantMap run(int number, const QStringList& arguments)
{
    return {{ls::commandIdKey, "HandleCommand"},
            {ls::subCommandIdKey, number},
            {ls::senderIdKey, "CommandHandler"},
            {ls::argsKey, QVariant(arguments).toList()}};
}

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
    QStringList menu(const ls::MetaEnum& enumeration) const;
    QString info(int number, const QString& name) const;

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

QStringList ConsoleTest::menu(const ls::MetaEnum& enumeration) const
{
    QStringList lines;
    for (const ls::MetaEnum::Entry& entry : enumeration) {
        lines.append(debug(QStringLiteral("%1 \t %2 %3")
                               .arg(entry.value)
                               .arg(m_handler->getDescription(entry.key),
                                    m_handler->getArgumentsList(entry.key))));
    }
    return lines;
}

QString ConsoleTest::info(int number, const QString& name) const
{
    return debug(QStringLiteral("%1 - %2 %3")
                     .arg(number)
                     .arg(m_handler->getDescription(name), m_handler->getArgumentsList(name)));
}

void ConsoleTest::lines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QVariantMap>("request");

    const QVariantMap none;
    QTest::newRow("empty") << "" << helpBlock() << none;
    QTest::newRow("leading blank") << " HELP C" << helpBlock() << none;
    QTest::newRow("help alone") << "HELP" << helpBlock(error("No arguments received for help."))
                                << none;
    QTest::newRow("help word") << "help x" << helpBlock(error("Arguments must be of integer type!"))
                               << none;
    QTest::newRow("main menu and more")
        << "HELP C 2" << helpBlock(error("Arguments must be of integer type!")) << none;
    QTest::newRow("help unknown") << "HELP 999" << helpBlock(notFound(999)) << none;
    QTest::newRow("C alone") << "C" << helpBlock(error("No arguments received for command action."))
                             << none;
    QTest::newRow("C word") << "Cancel"
                            << helpBlock(error("No arguments received for command action."))
                            << none;
    QTest::newRow("C fraction") << "c 2.5 1"
                                << helpBlock(error("Commands must be of integer type!")) << none;
    QTest::newRow("C unknown") << "C 999 a" << helpBlock(notFound(999)) << none;

    const QStringList mainMenu =
        QStringList{debug(quoted("========== Commands - Main menu =========="))} +
        menu(ls::CommandCategories::meta) + QStringList{debug(quoted(rule))} + helpLines;
    QTest::newRow("main menu") << "HELP C" << mainMenu << none;
    QTest::newRow("main menu, mixed case and blanks") << "hElP   c " << mainMenu << none;

    const auto infoBlock = [&](int number, const QString& name) {
        return QStringList{
            debug(QStringLiteral("\n========== Command %1 - Info ==========").arg(number)),
            info(number, name), debug(quoted(rule) + "\n")};
    };
    QTest::newRow("help category") << "HELP 2" << infoBlock(2, "PaperFeedCommandId") << none;
    QTest::newRow("help command, words ignored")
        << "helpme 102 x" << infoBlock(102, "SetSetting") << none;

    const QStringList paperMenu =
        QStringList{debug("\n========== " + m_handler->getDescription("PaperFeedCommandId") +
                          " - Menu ==========")} +
        menu(ls::PaperFeedCommandId::meta) + QStringList{debug(quoted(rule) + "\n")};
    QTest::newRow("category, arguments ignored") << "c 2 5 6" << paperMenu << none;
    QTest::newRow("category, longer first word") << "Category 2" << paperMenu << none;

    const auto ran = [&](int number, const QString& name) {
        return QStringList{debug(QStringLiteral("\n========== %1 - %2 ==========")
                                     .arg(number)
                                     .arg(m_handler->getDescription(name))),
                           debug(quoted("================== Done ==================") + "\n")};
    };
    QTest::newRow("run with arguments")
        << "C 102 speed 7" << ran(102, "SetSetting") << run(102, {"speed", "7"});
    QTest::newRow("run without") << "c 200" << ran(200, "LoadPaper") << run(200, {});
    QTest::newRow("run, blanks") << "Cmd  603   9 " << ran(603, "RunSensorTest") << run(603, {"9"});
}

void ConsoleTest::lines()
{
    QFETCH(QString, line);
    QFETCH(QStringList, records);
    QFETCH(QVariantMap, request);

    QVERIFY(QMetaObject::invokeMethod(m_console, "onTextReceived", Q_ARG(QString, line)));
    QStringList logged;
    for (const LogCapture::Record& record : m_log->records()) {
        logged.append((record.type == QtCriticalMsg ? "critical|" : "debug|") + record.message);
    }
    QCOMPARE(logged, records);
    QCOMPARE(m_handler->requests.size(), request.isEmpty() ? 0 : 1);
    if (!request.isEmpty()) {
        const QVariantMap sent = m_handler->requests.constFirst();
        QCOMPARE(sent, request);
        QCOMPARE(sent.value(ls::subCommandIdKey).userType(), int(QMetaType::Int));
        for (const QVariant& argument : sent.value(ls::argsKey).toList()) {
            QCOMPARE(argument.userType(), int(QMetaType::QString));
        }
    }
}

void ConsoleTest::notifications_data()
{
    QTest::addColumn<QVariantMap>("notification");
    QTest::addColumn<bool>("categoryOn");
    QTest::addColumn<QStringList>("records");

    const QVariantMap complete{{ls::notificationIdKey, "PaperJam"},
                               {ls::actionIdKey, "Show"},
                               {ls::senderIdKey, "PrintManager"}};
    const QStringList printed{
        "Console|----------- Notification -----------", "Console|NotificationId: \"PaperJam\"",
        "Console|SenderId: \"PrintManager\"", "Console|------------------------------------"};
    const QStringList invalid{
        "default|Console::printNotification ERROR: Invalid notification received!"};

    QTest::newRow("complete, category on") << complete << true << printed;
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
    QStringList logged;
    for (const LogCapture::Record& record : m_log->records()) {
        logged.append(record.category + '|' + record.message);
    }
    QCOMPARE(logged, records);
}

QTEST_GUILESS_MAIN(ConsoleTest)
#include "tst_console.moc"
