#include "ConsoleSession.h"

#include "ArgumentList.h"
#include "CommandArguments.h"
#include "ConsoleLine.h"
#include "ConsoleTexts.h"
#include "ExitStatus.h"
#include "ReplyPrinter.h"
#include "ls/Enums.h"

namespace {

using namespace consoleText;

QString withoutTrailingBlanks(QString text)
{
    while (text.endsWith(QLatin1Char(' '))) {
        text.chop(1);
    }
    return text;
}

} // namespace

ConsoleSession::ConsoleSession(const ServiceClient& client, QTextStream& out, QTextStream& err)
    : m_client(client), m_out(out), m_err(err)
{
}

int ConsoleSession::run(const LineSource& nextLine)
{
    QString line;
    while (nextLine(&line)) {
        handleLine(line);
        m_out.flush();
    }
    return m_status;
}

void ConsoleSession::handleLine(const QString& line)
{
    // Double quotes keep an argument with blanks together, as in the shell's "chctl run".
    const ConsoleLine request(line, ConsoleLine::Quoting::doubleQuotes);
    bool handled = false;
    switch (request.kind()) {
    case ConsoleLine::Kind::mainMenu:
        showMainMenu();
        handled = true;
        break;
    case ConsoleLine::Kind::help:
        handled = showInfo(request.number());
        break;
    case ConsoleLine::Kind::command:
        handled =
            showCategory(request.number()) || runCommand(request.number(), request.arguments());
        break;
    case ConsoleLine::Kind::refused:
        m_out << request.refusal() << "\n\n";
        break;
    case ConsoleLine::Kind::none:
        break;
    }
    if (!handled) {
        printHelpBlock();
        // As chctl's own command line refuses an unknown command or number; an empty line only
        // asks for the help.
        if (!line.trimmed().isEmpty()) {
            noteStatus(exitStatus::usage);
        }
    }
}

void ConsoleSession::showMainMenu()
{
    QVector<Catalogue::Entry> categories;
    if (!fetchCategories(&categories)) {
        return;
    }
    m_out << mainMenuBanner << '\n';
    for (const Catalogue::Entry& category : categories) {
        printMenuLine(QStringLiteral("\t"), category);
    }
    m_out << closingRule << '\n';
    for (const QString& help : helpLines) {
        m_out << help << '\n';
    }
}

bool ConsoleSession::showInfo(int number)
{
    Catalogue::Entry entry{number, {}, {}, {}, {}};
    if (!Catalogue::categoryName(number).isEmpty()) {
        QVector<Catalogue::Entry> categories;
        if (!fetchCategories(&categories)) {
            return true;
        }
        if (const Catalogue::Entry* found = Catalogue::find(categories, number)) {
            entry = *found;
        }
    } else if (Catalogue::commandName(number).isEmpty()) {
        printNotFound(number);
        return false;
    } else if (fetchCommand(number, &entry) == Catalogue::Lookup::noAnswer) {
        return true;
    }
    m_out << '\n' << infoHeader.arg(number) << '\n';
    printMenuLine(QStringLiteral("-"), entry);
    m_out << closingRule << "\n\n";
    return true;
}

bool ConsoleSession::showCategory(int number)
{
    const QString name = Catalogue::categoryName(number);
    if (name.isEmpty()) {
        return false;
    }
    QVector<Catalogue::Entry> categories;
    if (!fetchCategories(&categories)) {
        return true;
    }
    const ServiceClient::Answer answer = m_client.commands(name);
    if (!succeeded(answer)) {
        return true;
    }
    const Catalogue::Entry* category = Catalogue::find(categories, number);
    m_out << '\n'
          << categoryHeader.arg(category != nullptr ? category->description : QString()) << '\n';
    const QVector<Catalogue::Entry> commands =
        Catalogue::entries(answer.reply, ls::commandsKey, Catalogue::commandsOf(name));
    for (const Catalogue::Entry& command : commands) {
        printMenuLine(QStringLiteral("\t"), command);
    }
    m_out << closingRule << "\n\n";
    return true;
}

bool ConsoleSession::runCommand(int number, const QStringList& arguments)
{
    Catalogue::Entry command;
    const Catalogue::Lookup lookup = fetchCommand(number, &command);
    if (lookup == Catalogue::Lookup::noAnswer) {
        return true;
    }
    if (lookup == Catalogue::Lookup::missing) {
        printNotFound(number);
        return false;
    }
    m_out << '\n' << runHeader.arg(number).arg(command.description) << '\n';
    const CommandArguments expected(command.argumentTypes, Catalogue::mayLeaveArgumentsOut(number));
    QVariantList values;
    QString problem;
    if (!expected.convert(arguments, &values, &problem)) {
        m_out << command.id << ' ' << problem << '\n'
              << withoutTrailingBlanks(
                     QStringLiteral("Usage: C %1 %2").arg(number).arg(expected.usage()))
              << '\n';
        noteStatus(exitStatus::usage);
    } else if (const ServiceClient::Answer answer = m_client.run(number, values);
               !answer.busError.isEmpty()) {
        succeeded(answer);
    } else {
        ReplyPrinter::writeReadable(m_out, answer.reply);
        // Here the reason of a Failure belongs to the command's output, not to chctl's own.
        if (!ReplyPrinter::isSuccess(answer.reply)) {
            m_out << ReplyPrinter::failureLine(answer.reply) << '\n';
        }
        noteStatus(exitStatus::of(answer));
    }
    m_out << doneBanner << "\n\n";
    return true;
}

bool ConsoleSession::fetchCategories(QVector<Catalogue::Entry>* entries)
{
    const ServiceClient::Answer answer = m_client.categories();
    if (!succeeded(answer)) {
        return false;
    }
    *entries =
        Catalogue::entries(answer.reply, ls::commandCategoriesKey, ls::CommandCategories::meta);
    return true;
}

Catalogue::Lookup ConsoleSession::fetchCommand(int number, Catalogue::Entry* entry)
{
    ServiceClient::Answer answer;
    const Catalogue::Lookup lookup = Catalogue::findCommand(m_client, number, entry, &answer);
    // No catalogue is asked for a number of no category. One that answered Failure lacks the
    // command for another reason than its number.
    const bool asked = lookup == Catalogue::Lookup::noAnswer || !answer.reply.isEmpty();
    return asked && !succeeded(answer) ? Catalogue::Lookup::noAnswer : lookup;
}

bool ConsoleSession::succeeded(const ServiceClient::Answer& answer)
{
    const int status = exitStatus::reported(answer, m_err);
    m_err.flush();
    noteStatus(status);
    return status == exitStatus::success;
}

// "202 \t Feed the paper by a number of lines. ( lines: int )", as the console prints it.
void ConsoleSession::printMenuLine(const QString& separator, const Catalogue::Entry& entry)
{
    const QString arguments =
        entry.argumentTypes.isEmpty() ? QString() : ArgumentList::text(entry.argumentTypes);
    m_out << withoutTrailingBlanks(
                 QStringList{QString::number(entry.number), separator, entry.description, arguments}
                     .join(QLatin1Char(' ')))
          << '\n';
}

void ConsoleSession::printHelpBlock()
{
    m_out << '\n' << helpBanner << '\n';
    for (const QString& help : helpLines) {
        m_out << help << '\n';
    }
    m_out << closingRule << "\n\n";
}

void ConsoleSession::printNotFound(int number)
{
    m_out << '\n' << commandNotFound.arg(number) << '\n';
}

void ConsoleSession::noteStatus(int status)
{
    m_status = qMax(m_status, status);
}
