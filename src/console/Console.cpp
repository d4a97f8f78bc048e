#include "Console.h"

#include "Category.h"
#include "ConsoleLine.h"
#include "ConsoleTexts.h"

#include "CommandHandler.h"
#include "ErrorLine.h"
#include "ls/ConsoleReader.h"
#include "ls/Enums.h"
#include "ls/Timer.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QStringList>
#include <QtDebug>

namespace {

using namespace consoleText;

const QString timerLabel = QStringLiteral("Console");

// Created on first use, off unless the logging rules switch it on.
const QLoggingCategory& consoleCategory()
{
    static const QLoggingCategory category("Console", QtCriticalMsg);
    return category;
}

// undefinedKey when no category holds the number.
EnumKey commandName(int number)
{
    const Category* category = Category::holding(number);
    return category != nullptr ? category->commands.key(number) : ls::undefinedKey;
}

// A help number names a category before a command.
EnumKey helpName(int number)
{
    const EnumKey category = ls::CommandCategories::meta.key(number);
    return category != ls::undefinedKey ? category : commandName(number);
}

// Starts a record with a line break, so that an empty line shows before it.
QDebug breakFirst(QDebug record)
{
    record.nospace() << '\n';
    record.setAutoInsertSpaces(true);
    return record;
}

// Ends a one-item record with a line break, so that an empty line shows after it.
template <typename Text> void printBreakLast(QDebug record, const Text& text)
{
    record.nospace() << text << '\n';
}

void printHelpLines()
{
    for (const QString& line : helpLines) {
        qDebug() << line;
    }
}

} // namespace

Console::Console(CommandHandler* handler)
    : QObject(handler), m_handler(handler), m_reader(new ls::ConsoleReader(this))
{
    connect(m_reader, &ls::ConsoleReader::textReceived, this, &Console::takeLine);
    connect(handler, &CommandHandler::notification, handler, &Console::printNotification,
            Qt::DirectConnection);
    connect(this, &Console::commandFinished, this, &Console::finishCommand, Qt::QueuedConnection);
    watchInputEnd();
}

// The reader tells lines only. It stops watching standard input for good at its end by
// dropping its notifier, which is gone only after the lines read with the end were handed on.
void Console::watchInputEnd()
{
    const auto* notifier = m_reader->findChild<QSocketNotifier*>();
    if (notifier == nullptr) {
        // Standard input could not be read from the start: closed as soon as the loop runs.
        QMetaObject::invokeMethod(this, &Console::noteInputEnded, Qt::QueuedConnection);
        return;
    }
    connect(notifier, &QObject::destroyed, this, &Console::noteInputEnded);
}

void Console::noteInputEnded()
{
    m_inputEnded = true;
    reportClosedWhenIdle();
}

// Lines read before the end may still wait behind a command on a lane; they come first.
void Console::reportClosedWhenIdle()
{
    if (!m_inputEnded || m_commandRunning || m_closedReported) {
        return;
    }
    m_closedReported = true;
    qInfo().noquote() << consoleClosed;
}

void Console::takeLine(const QString& line)
{
    ls::Timer::start(timerLabel);
    const ConsoleLine request(line);
    bool handled = false;
    switch (request.kind()) {
    case ConsoleLine::Kind::mainMenu:
        printMainMenu();
        handled = true;
        break;
    case ConsoleLine::Kind::help:
        handled = printInfo(request.number());
        break;
    case ConsoleLine::Kind::command:
        handled = handleCategory(request.number()) ||
                  handleCommand(request.number(), request.arguments());
        break;
    case ConsoleLine::Kind::refused:
        printBreakLast(qCritical().noquote(), request.refusal());
        break;
    case ConsoleLine::Kind::none:
        break;
    }
    if (!handled) {
        printHelpBlock();
    }
    if (m_commandRunning) {
        // The next line waits in the pipe, not here, however fast its writer.
        m_reader->setPaused(true);
    } else {
        ls::Timer::finish(timerLabel);
    }
}

void Console::finishCommand()
{
    printBreakLast(qDebug(), doneBanner);
    ls::Timer::finish(timerLabel);
    m_commandRunning = false;
    // Hands on the lines that waited, the last unfinished one too, and may start another command.
    m_reader->setPaused(false);
    reportClosedWhenIdle();
}

void Console::printMainMenu() const
{
    qDebug() << mainMenuBanner;
    display(ls::CommandCategories::meta);
    qDebug() << closingRule;
    printHelpLines();
}

bool Console::printInfo(int number) const
{
    const EnumKey name = helpName(number);
    if (name == ls::undefinedKey) {
        printNotFound(number);
        return false;
    }
    breakFirst(qDebug().noquote()) << infoHeader.arg(number);
    qDebug().noquote() << number << "-" << m_handler->getDescription(name)
                       << m_handler->getArgumentsList(name);
    printBreakLast(qDebug(), closingRule);
    return true;
}

bool Console::handleCategory(int number) const
{
    const EnumKey name = ls::CommandCategories::meta.key(number);
    if (name == ls::undefinedKey) {
        return false;
    }
    breakFirst(qDebug().noquote()) << categoryHeader.arg(m_handler->getDescription(name));
    if (const Category* category = Category::named(name)) {
        display(category->commands);
    }
    printBreakLast(qDebug(), closingRule);
    return true;
}

bool Console::handleCommand(int number, const QStringList& arguments)
{
    const EnumKey name = commandName(number);
    if (name == ls::undefinedKey) {
        printNotFound(number);
        return false;
    }
    const QVariantMap request{
        {ls::commandIdKey, ls::CommandHandlerCmdId::HandleCommand},
        {ls::subCommandIdKey, number},
        {ls::senderIdKey, ls::ServiceId::CommandHandler},
        {ls::argsKey, QVariant(arguments).toList()},
    };
    breakFirst(qDebug().noquote()) << runHeader.arg(number).arg(m_handler->getDescription(name));
    // What the operator sees of the outcome is the handler's and the backends' own logging.
    m_commandRunning =
        !m_handler->submit(request, [this](const QVariantMap&) { emit commandFinished(); })
             .has_value();
    if (!m_commandRunning) {
        printBreakLast(qDebug(), doneBanner);
    }
    return true;
}

void Console::display(const ls::MetaEnum& enumeration) const
{
    for (const ls::MetaEnum::Entry& entry : enumeration) {
        // Two names sharing a value both show the texts of the first one.
        const EnumKey name = enumeration.key(entry.value);
        qDebug().noquote() << entry.value << "\t" << m_handler->getDescription(name)
                           << m_handler->getArgumentsList(name);
    }
}

void Console::printNotification(const QVariantMap& notification)
{
    if (!notification.contains(ls::notificationIdKey) || !notification.contains(ls::actionIdKey) ||
        !notification.contains(ls::senderIdKey)) {
        CH_ERROR_LINE() << "Invalid notification received!";
        return;
    }
    qCDebug(consoleCategory) << "----------- Notification -----------";
    qCDebug(consoleCategory) << "NotificationId:"
                             << notification.value(ls::notificationIdKey).toString();
    qCDebug(consoleCategory) << "SenderId:" << notification.value(ls::senderIdKey).toString();
    qCDebug(consoleCategory) << "------------------------------------";
}

void Console::printHelpBlock()
{
    breakFirst(qDebug()) << helpBanner;
    printHelpLines();
    printBreakLast(qDebug(), closingRule);
}

void Console::printNotFound(int number)
{
    breakFirst(qDebug().noquote()) << commandNotFound.arg(number);
}
