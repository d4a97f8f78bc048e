#include "CommandLine.h"

#include "Category.h"
#include "CommandArguments.h"
#include "ConsoleSession.h"
#include "ExitStatus.h"
#include "LineEditor.h"
#include "OptionWords.h"
#include "ReplyPrinter.h"
#include "ServiceName.h"
#include "StatusPrinter.h"
#include "WallClock.h"
#include "ls/Enums.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <limits>

#include <unistd.h>

namespace {

// The service may take its lanes' longest wait (20 s) and one sibling call (2 s) to answer; the
// bus's own default leaves room for that.
constexpr int defaultTimeoutSeconds = 25;

const QCommandLineOption addressOption(
    QStringLiteral("address"),
    QStringLiteral("The bus to use (default: the system bus, or DBUS_SYSTEM_BUS_ADDRESS)."),
    QStringLiteral("address"));
const QCommandLineOption
    senderOption(QStringLiteral("sender"),
                 QStringLiteral("The sender named in each request (default: %1).")
                     .arg(ls::ServiceId::CommandHandler),
                 QStringLiteral("name"), ls::ServiceId::CommandHandler);
const QCommandLineOption
    timeoutOption(QStringLiteral("timeout"),
                  QStringLiteral("Seconds to wait for each answer (default: %1, as long as the "
                                 "service may take).")
                      .arg(defaultTimeoutSeconds),
                  QStringLiteral("seconds"), QString::number(defaultTimeoutSeconds));
const QCommandLineOption jsonOption(QStringLiteral("json"),
                                    QStringLiteral("Print the service's reply as JSON."));
const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("Show this help and exit."));
const QCommandLineOption versionOption(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                       QStringLiteral("Show the version and exit."));
// Typed by habit by busctl's and systemctl's users; chctl's output is never paged.
const QCommandLineOption noPagerOption(QStringLiteral("no-pager"),
                                       QStringLiteral("Accepted; chctl never pages its output."));
const QList<QCommandLineOption> options{addressOption, senderOption,  timeoutOption, jsonOption,
                                        helpOption,    versionOption, noPagerOption};

// %1: the service's bus name.
const char* const description =
    "Sends commands to the embossing printer's command handler (%1) "
    "on the D-Bus system bus.\n"
    "\n"
    "Commands:\n"
    "  list                       the command categories with their numbers\n"
    "  list <category>            the commands of a category: its number, its name or\n"
    "                             a word of its description (chctl list speech)\n"
    "  help [command]             a command's description and arguments; a category's\n"
    "                             number shows the category; without one, the categories\n"
    "  run <command> [argument...]\n"
    "                             run a command; quote an argument that holds blanks\n"
    "  console                    the operator console's language on standard input\n"
    "                             (HELP C, C 2, HELP 202, C 202 3), with a prompt and\n"
    "                             line editing on a terminal; also with no command\n"
    "  status                     what the service does: its table, each sibling on\n"
    "                             the bus or not, what its lane runs and has run\n"
    "\n"
    "A command is given by its number or its name, in any letter case:\n"
    "chctl run FeedLines 3\n"
    "\n"
    "Exit status: 0 success; 1 the service answered Failure, the reason on standard error;\n"
    "2 usage error, nothing sent; 3 the service is not on the bus, or the bus refused access\n"
    "(root or the group cmdhandler is needed); 4 no reply within --timeout, the command may\n"
    "still run. Console mode: the worst of the session.\n"
    "Argument types: int (-1 needs no '--'), bool (true, false, 1 or 0), text; any other\n"
    "argument starting with '-' follows '--': chctl run 500 -- -hello";

// The usage errors of a wrong count of words.
const QString helpWantsCommand = QStringLiteral("help wants one command, its number or name");
const QString runWantsCommand = QStringLiteral("run wants a command, its number or name");
constexpr int anyNumber = std::numeric_limits<int>::max();

QStringList senderNames()
{
    QStringList senders;
    for (const ls::MetaEnum::Entry& entry : ls::ServiceId::meta) {
        senders.append(entry.key);
    }
    return senders;
}

QString columns(const QString& number, const QString& name, int width, const QString& text)
{
    return QStringLiteral("%1  %2  %3").arg(number, 3).arg(name, -width).arg(text);
}

} // namespace

CommandLine::CommandLine() : m_out(stdout), m_err(stderr)
{
    m_parser.setApplicationDescription(
        QString::fromUtf8(description).arg(commandHandlerServiceName));
    m_parser.addOptions(options);
    m_parser.addPositionalArgument(QStringLiteral("command"), verbNames(),
                                   QStringLiteral("[command [arguments...]]"));
}

int CommandLine::run(const QStringList& arguments)
{
    const OptionWords split(options);
    if (!m_parser.parse(split.optionsBeforeWords(arguments))) {
        return usageError(m_parser.errorText() + split.dashHint(arguments));
    }
    if (m_parser.isSet(helpOption)) {
        m_out << m_parser.helpText();
        return exitStatus::success;
    }
    if (m_parser.isSet(versionOption)) {
        m_out << QCoreApplication::applicationName() << ' '
              << QCoreApplication::applicationVersion() << '\n';
        return exitStatus::success;
    }
    const QString sender = m_parser.value(senderOption);
    if (!ls::ServiceId::meta.hasKey(sender)) {
        return usageError(QStringLiteral("unknown sender \"%1\"; one of: %2")
                              .arg(sender, senderNames().join(QStringLiteral(", "))));
    }
    bool ok = false;
    const double seconds = m_parser.value(timeoutOption).toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > 24 * 3600) {
        return usageError(QStringLiteral("--timeout wants a number of seconds"));
    }
    m_timeoutMs = static_cast<int>(seconds * 1000);
    m_json = m_parser.isSet(jsonOption);

    QStringList words = m_parser.positionalArguments();
    const QString name = words.isEmpty() ? QStringLiteral("console") : words.takeFirst();
    return dispatch(name, words);
}

const QVector<CommandLine::Verb>& CommandLine::verbs()
{
    static const QVector<Verb> table{
        {QStringLiteral("list"), 0, 1, QStringLiteral("list takes at most one category"), true,
         &CommandLine::list},
        {QStringLiteral("help"), 0, 1, helpWantsCommand, true, &CommandLine::help},
        {QStringLiteral("run"), 1, anyNumber, runWantsCommand, true, &CommandLine::runCommand},
        {QStringLiteral("console"), 0, 0, QStringLiteral("console takes no arguments"), true,
         &CommandLine::console},
        {QStringLiteral("status"), 0, 0, QStringLiteral("status takes no arguments"), true,
         &CommandLine::showStatus},
        // The completion script's, left out of the help.
        {QStringLiteral("_complete"), 0, anyNumber, {}, false, &CommandLine::complete},
    };
    return table;
}

// "list, help, run, console or status.": the verbs a technician types, as the help names them.
QString CommandLine::verbNames()
{
    QStringList names;
    for (const Verb& verb : verbs()) {
        if (!verb.name.startsWith(QLatin1Char('_'))) {
            names.append(verb.name);
        }
    }
    const QString last = names.takeLast();
    return QStringLiteral("%1 or %2.").arg(names.join(QStringLiteral(", ")), last);
}

// The words are counted before chctl connects to the bus: a usage error sends nothing.
int CommandLine::dispatch(const QString& name, const QStringList& words)
{
    const auto verb =
        std::find_if(verbs().cbegin(), verbs().cend(),
                     [&name](const Verb& candidate) { return candidate.name == name; });
    if (verb == verbs().cend()) {
        return usageError(QStringLiteral("unknown command \"%1\"").arg(name));
    }
    if (words.size() < verb->minimumWords || words.size() > verb->maximumWords) {
        return usageError(verb->wrongCount);
    }
    if (verb->callsService) {
        m_client = std::make_unique<ServiceClient>(m_parser.value(addressOption),
                                                   m_parser.value(senderOption), m_timeoutMs);
    }
    return (this->*verb->handler)(words);
}

int CommandLine::list(const QStringList& words)
{
    if (words.size() == 1) {
        QString category = Catalogue::resolveCategory(words.constFirst());
        if (category.isEmpty()) {
            if (const int status = findDescribedCategory(words.constFirst(), &category);
                status >= 0) {
                return status;
            }
        }
        return listCommands(category);
    }
    const ServiceClient::Answer answer = m_client->categories();
    const QVector<Catalogue::Entry> categories =
        Catalogue::entries(answer.reply, ls::commandCategoriesKey, ls::CommandCategories::meta);
    if (answer.busError.isEmpty() && m_json) {
        ReplyPrinter::writeJson(
            m_out, Catalogue::withEntries(answer.reply, ls::commandCategoriesKey, categories));
    } else if (answer.busError.isEmpty()) {
        int width = 0;
        for (const Catalogue::Entry& category : categories) {
            width = qMax(width, category.id.size());
        }
        for (const Catalogue::Entry& category : categories) {
            m_out << columns(QString::number(category.number), category.id, width,
                             category.description)
                  << '\n';
        }
    }
    return statusOf(answer);
}

int CommandLine::listCommands(const QString& category)
{
    const ServiceClient::Answer answer = m_client->commands(category);
    const QVector<Catalogue::Entry> commands =
        Catalogue::entries(answer.reply, ls::commandsKey, Catalogue::commandsOf(category));
    if (answer.busError.isEmpty() && m_json) {
        ReplyPrinter::writeJson(m_out,
                                Catalogue::withEntries(answer.reply, ls::commandsKey, commands));
    } else if (answer.busError.isEmpty()) {
        QStringList synopses;
        int width = 0;
        for (const Catalogue::Entry& command : commands) {
            synopses.append((command.id + ' ' +
                             CommandArguments(command.argumentTypes,
                                              Catalogue::mayLeaveArgumentsOut(command.number))
                                 .usage())
                                .trimmed());
            width = qMax(width, synopses.constLast().size());
        }
        for (int i = 0; i < commands.size(); ++i) {
            m_out << columns(QString::number(commands.at(i).number), synopses.at(i), width,
                             commands.at(i).description)
                  << '\n';
        }
    }
    return statusOf(answer);
}

// "speech" names no category, yet the description of the one that holds the speech commands
// has it.
int CommandLine::findDescribedCategory(const QString& word, QString* category)
{
    const ServiceClient::Answer answer = m_client->categories();
    if (!answer.busError.isEmpty() || !ReplyPrinter::isSuccess(answer.reply)) {
        return statusOf(answer);
    }
    const QStringList found = Catalogue::describedBy(
        Catalogue::entries(answer.reply, ls::commandCategoriesKey, ls::CommandCategories::meta),
        word);
    if (found.isEmpty()) {
        return usageError(QStringLiteral("no category \"%1\"; chctl list shows them").arg(word));
    }
    if (found.size() > 1) {
        return usageError(
            QStringLiteral("\"%1\" describes more than one category: %2; chctl list shows them")
                .arg(word, found.join(QStringLiteral(", "))));
    }
    *category = found.constFirst();
    return -1;
}

int CommandLine::help(const QStringList& words)
{
    if (words.isEmpty()) {
        return list(words);
    }
    int number = 0;
    if (const QString category = Catalogue::resolveCategory(words.constFirst());
        !category.isEmpty()) {
        number = ls::CommandCategories::meta.value(category);
    } else if (!Catalogue::commandNumber(words.constFirst(), &number)) {
        return noCommand(words.constFirst());
    }
    if (!Catalogue::categoryName(number).isEmpty()) {
        return helpCategory(number);
    }
    Catalogue::Entry command;
    ServiceClient::Answer answer;
    if (const int status = findCommand(number, &command, &answer); status >= 0) {
        return status;
    }
    const CommandArguments arguments(command.argumentTypes,
                                     Catalogue::mayLeaveArgumentsOut(number));
    if (m_json) {
        ReplyPrinter::writeJson(m_out, command.fields);
        return exitStatus::success;
    }
    const QString category = Catalogue::categoryOfCommand(number);
    m_out << number << "  " << command.id << '\n'
          << command.description << '\n'
          << "Category: " << ls::CommandCategories::meta.value(category) << ' ' << category << '\n'
          << "Arguments:" << (arguments.count() == 0 ? " none" : "") << '\n';
    for (const QVariant& element : command.argumentTypes) {
        m_out << "  " << element.toMap().value(ls::argumentNameKey).toString() << ' '
              << element.toMap().value(ls::argumentTypeKey).toString() << '\n';
    }
    m_out << "Usage: "
          << QStringLiteral("chctl run %1 %2").arg(number).arg(arguments.usage()).trimmed() << '\n';
    return exitStatus::success;
}

int CommandLine::helpCategory(int number)
{
    const ServiceClient::Answer answer = m_client->categories();
    const QVector<Catalogue::Entry> categories =
        Catalogue::entries(answer.reply, ls::commandCategoriesKey, ls::CommandCategories::meta);
    const Catalogue::Entry* category = Catalogue::find(categories, number);
    if (!answer.busError.isEmpty() || !ReplyPrinter::isSuccess(answer.reply)) {
        return statusOf(answer);
    }
    if (category == nullptr) {
        return usageError(QStringLiteral("the service's catalogue has no category %1").arg(number));
    }
    if (m_json) {
        ReplyPrinter::writeJson(m_out, category->fields);
    } else {
        m_out << number << "  " << category->id << " (category)\n"
              << category->description << '\n'
              << "Commands: chctl list " << number << '\n';
    }
    return exitStatus::success;
}

int CommandLine::runCommand(const QStringList& words)
{
    int number = 0;
    const bool isCommand = Catalogue::commandNumber(words.constFirst(), &number);
    if (!Catalogue::categoryName(number).isEmpty() ||
        (!isCommand && !Catalogue::resolveCategory(words.constFirst()).isEmpty())) {
        return usageError(QStringLiteral("%1 is a category; chctl list %1 shows its commands")
                              .arg(words.constFirst()));
    }
    if (!isCommand) {
        return noCommand(words.constFirst());
    }
    Catalogue::Entry command;
    ServiceClient::Answer answer;
    if (const int status = findCommand(number, &command, &answer); status >= 0) {
        return status;
    }
    const CommandArguments expected(command.argumentTypes, Catalogue::mayLeaveArgumentsOut(number));
    QVariantList values;
    QString problem;
    if (!expected.convert(words.mid(1), &values, &problem)) {
        m_err << "chctl: " << command.id << ' ' << problem << '\n'
              << "Usage: "
              << QStringLiteral("chctl run %1 %2").arg(number).arg(expected.usage()).trimmed()
              << '\n';
        return exitStatus::usage;
    }
    answer = m_client->run(number, values);
    if (answer.busError.isEmpty() && m_json) {
        ReplyPrinter::writeJson(m_out, answer.reply);
    } else if (answer.busError.isEmpty()) {
        ReplyPrinter::writeReadable(m_out, answer.reply);
    }
    return statusOf(answer);
}

int CommandLine::console(const QStringList& /*words*/)
{
    ConsoleSession session(*m_client, m_out, m_err);
    if (isatty(STDIN_FILENO) == 0) {
        QTextStream in(stdin);
        return session.run([&in](QString* line) { return in.readLineInto(line); });
    }
    m_err << "Type HELP C for the command menu; Ctrl-D ends.\n";
    m_err.flush();
    LineEditor editor(qPrintable(QCoreApplication::applicationName()));
    return session.run([&editor](QString* line) { return editor.readLine(line); });
}

// Words for the shell's completion, from the shared enumerations: no bus needed. The words
// complete a subcommand's first word, or the value of --sender.
int CommandLine::complete(const QStringList& words)
{
    const QString command = words.value(0);
    if (command == QLatin1String("--sender")) {
        for (const QString& sender : senderNames()) {
            m_out << sender << '\n';
        }
    }
    if (command == QLatin1String("list") || command == QLatin1String("help")) {
        for (const ls::MetaEnum::Entry& entry : ls::CommandCategories::meta) {
            m_out << entry.value << '\n';
        }
    }
    // Only list takes a category by its word.
    if (command == QLatin1String("list")) {
        for (const ls::MetaEnum::Entry& entry : ls::CommandCategories::meta) {
            m_out << Catalogue::categoryWord(entry.key) << '\n';
        }
    }
    if (command == QLatin1String("help") || command == QLatin1String("run")) {
        for (const Category& category : Category::all()) {
            for (const ls::MetaEnum::Entry& entry : category.commands) {
                m_out << entry.value << '\n' << entry.key << '\n';
            }
        }
    }
    return exitStatus::success;
}

int CommandLine::findCommand(int number, Catalogue::Entry* command, ServiceClient::Answer* answer)
{
    const Catalogue::Lookup lookup = Catalogue::findCommand(*m_client, number, command, answer);
    if (lookup == Catalogue::Lookup::noAnswer ||
        (!answer->reply.isEmpty() && !ReplyPrinter::isSuccess(answer->reply))) {
        return statusOf(*answer);
    }
    if (lookup == Catalogue::Lookup::missing) {
        return usageError(
            QStringLiteral("no command %1; chctl list <category> shows them").arg(number));
    }
    return -1;
}

int CommandLine::showStatus(const QStringList&)
{
    const ServiceClient::Answer answer = m_client->status();
    if (!answer.busError.isEmpty()) {
        return exitStatus::reported(answer, m_err);
    }
    if (m_json) {
        ReplyPrinter::writeJson(m_out, answer.reply);
    } else {
        StatusPrinter::write(m_out, answer.reply, wallClockUs());
    }
    return exitStatus::success;
}

int CommandLine::statusOf(const ServiceClient::Answer& answer)
{
    // The reason goes under the reply it explains, on a terminal as in a log taking both.
    m_out.flush();
    return exitStatus::reported(answer, m_err);
}

int CommandLine::noCommand(const QString& word)
{
    return usageError(
        QStringLiteral("no command \"%1\"; chctl list <category> shows them").arg(word));
}

int CommandLine::usageError(const QString& message)
{
    m_err << "chctl: " << message << '\n' << "Try 'chctl --help'.\n";
    return exitStatus::usage;
}
