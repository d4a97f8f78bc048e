#include "CommandHandler.h"

#include "LogPrefix.h"
#include "TableTexts.h"
#include "ls/Enums.h"
#include "ls/JFile.h"

#include <QLoggingCategory>
#include <QtDebug>

namespace {

// Created on first use, off unless the logging rules switch it on.
const QLoggingCategory& commandHandlerCategory()
{
    static const QLoggingCategory category("CommandHandler", QtCriticalMsg);
    return category;
}

struct CategoryEnumeration
{
    const EnumKey& category;
    const ls::MetaEnum& commands;
};

// The order in which a sub-command value is looked for among the categories.
const CategoryEnumeration categoryEnumerations[] = {
    {ls::CommandCategories::ConfigurationCommandId, ls::ConfigurationCommandId::meta},
    {ls::CommandCategories::PaperFeedCommandId, ls::PaperFeedCommandId::meta},
    {ls::CommandCategories::DocumentCommandId, ls::DocumentCommandId::meta},
    {ls::CommandCategories::EmbossCommandId, ls::EmbossCommandId::meta},
    {ls::CommandCategories::TestingCommandId, ls::TestingCommandId::meta},
    {ls::CommandCategories::IpcCommandId, ls::IpcCommandId::meta},
};

QString firstStateDirectory()
{
    return qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
}

} // namespace

const QHash<QString, CommandHandler::CategoryHandler> CommandHandler::commandHandlers = {
    {ls::CommandHandlerCmdId::GetCommandCategories, &CommandHandler::handleGetCommandCategories},
    {ls::CommandHandlerCmdId::GetCommands, &CommandHandler::handleGetCommands},
};

const QHash<QString, CommandHandler::CategoryHandler> CommandHandler::categoryHandlers = {};

CommandHandler::CommandHandler(QObject* parent) : QObject(parent) {}

QString CommandHandler::commandTablePath()
{
    static const QString path = QStringLiteral("%1/%2").arg(
        firstStateDirectory().isEmpty() ? tableText::directory : firstStateDirectory(),
        tableText::fileName);
    return path;
}

void CommandHandler::initialize()
{
    auto* file = new ls::JFile(this);
    if (!file->read(commandTablePath(), m_table)) {
        CH_LOG_ERROR() << "reading" << commandTablePath() << "failed!";
    }
}

int CommandHandler::getArgumentCount(const EnumKey& key) const
{
    if (!m_table.contains(key)) {
        CH_LOG_ERROR() << "Parameter" << key << "not found!";
        return 0;
    }
    const QVariantMap entry = m_table.value(key).toMap();
    if (!entry.contains(ls::argumentCountKey)) {
        CH_LOG_ERROR() << "Parameter" << ls::argumentCountKey << "not found!";
        return 0;
    }
    return entry.value(ls::argumentCountKey).toInt();
}

const QString CommandHandler::getDescription(const EnumKey& key) const
{
    if (!m_table.contains(key)) {
        CH_LOG_ERROR() << "Parameter" << key << "not found!";
        return {};
    }
    const QVariantMap entry = m_table.value(key).toMap();
    if (!entry.contains(ls::descriptionKey)) {
        CH_LOG_ERROR() << "Parameter" << ls::descriptionKey << "not found!";
        return {};
    }
    return entry.value(ls::descriptionKey).toString();
}

const QString CommandHandler::getArgumentsList(const EnumKey& key) const
{
    QString text;
    if (!m_table.contains(key)) {
        CH_LOG_ERROR() << "Parameter" << key << "not found!";
        return text;
    }
    const QVariantMap entry = m_table.value(key).toMap();
    if (!entry.contains(ls::descriptionKey)) {
        CH_LOG_ERROR() << "Parameter" << ls::descriptionKey << "not found!";
        return text;
    }
    if (entry.value(ls::argumentCountKey).toInt() == 0) {
        return text;
    }
    text += QStringLiteral("( ");
    const QVariantList arguments = entry.value(ls::argumentTypesKey).toList();
    for (int i = 0; i < arguments.size(); ++i) {
        const QVariantMap argument = arguments.at(i).toMap();
        text += QStringLiteral("%1: %2").arg(argument.value(ls::argumentNameKey).toString(),
                                             argument.value(ls::argumentTypeKey).toString());
        text += i + 1 < arguments.size() ? QStringLiteral(", ") : QStringLiteral(" ");
    }
    text += QStringLiteral(")");
    return text;
}

const QPair<const QString, const QString> CommandHandler::getFunctionInfo(const EnumKey& key) const
{
    if (!m_table.contains(key)) {
        CH_LOG_ERROR() << "Parameter" << key << "not found!";
        return {};
    }
    const QVariantMap entry = m_table.value(key).toMap();
    if (!entry.contains(tableText::returnType)) {
        CH_LOG_ERROR() << "Parameter" << tableText::returnType << "not found!";
        return {};
    }
    if (!entry.contains(tableText::function)) {
        CH_LOG_ERROR() << "Parameter" << tableText::function << "not found!";
        return {};
    }
    return {entry.value(tableText::returnType).toString(),
            entry.value(tableText::function).toString()};
}

const EnumKey CommandHandler::getCategory(const EnumValue& value) const
{
    for (const CategoryEnumeration& candidate : categoryEnumerations) {
        if (candidate.commands.hasValue(value)) {
            return candidate.category;
        }
    }
    CH_LOG_ERROR() << "Command category not found!";
    return ls::undefinedKey;
}

bool CommandHandler::isValidSubCommand(const EnumValue& value) const
{
    const EnumKey category = getCategory(value);
    for (const CategoryEnumeration& candidate : categoryEnumerations) {
        if (candidate.category == category) {
            return candidate.commands.hasValue(value);
        }
    }
    return false;
}

QVariantMap CommandHandler::makeReply(const QString& resultId, const QString& errorId)
{
    return {{ls::resultIdKey, resultId}, {ls::errorIdKey, errorId}};
}

QVariantMap CommandHandler::process(const QVariantMap& request)
{
    const QString commandId = request.value(ls::commandIdKey).toString();
    const ls::Command command(request);

    const auto catalogueHandler = commandHandlers.constFind(commandId);
    if (catalogueHandler != commandHandlers.constEnd()) {
        if (!ls::CommandHandlerCmdId::meta.hasKey(commandId)) {
            CH_LOG_ERROR() << "Invalid command!";
            return makeReply(ls::ResultId::Failure, ls::ErrorId::InvalidCmd);
        }
        if (!ls::ServiceId::meta.hasKey(request.value(ls::senderIdKey).toString())) {
            CH_LOG_ERROR() << "Invalid sender!";
            return makeReply(ls::ResultId::Failure, ls::ErrorId::InvalidSender);
        }
        return (this->*catalogueHandler.value())(command);
    }

    const EnumValue value = request.value(ls::subCommandIdKey).toString().toInt(nullptr, 10);
    const EnumKey category = getCategory(value);
    if (!ls::CommandHandlerCmdId::meta.hasKey(commandId)) {
        CH_LOG_ERROR() << "Invalid command!";
        return makeReply(ls::ResultId::Failure, ls::ErrorId::InvalidCmd);
    }
    if (commandId == ls::CommandHandlerCmdId::HandleCommand && !isValidSubCommand(value)) {
        CH_LOG_ERROR() << "Invalid sub-command!";
        return makeReply(ls::ResultId::Failure, ls::ErrorId::InvalidCmd);
    }
    const QString sender = request.value(ls::senderIdKey).toString();
    if (!ls::ServiceId::meta.hasKey(sender)) {
        CH_LOG_ERROR() << "Invalid sender!";
        return makeReply(ls::ResultId::Failure, ls::ErrorId::InvalidSender);
    }
    const auto categoryHandler = categoryHandlers.constFind(category);
    if (categoryHandler == categoryHandlers.constEnd()) {
        CH_LOG_ERROR() << category << "command n/a!";
        return makeReply(ls::ResultId::Failure, ls::ErrorId::CmdNotFound);
    }
    qCDebug(commandHandlerCategory)
        << "process command -" << commandId << "from sender -" << sender;
    return (this->*categoryHandler.value())(command);
}

QVariantMap CommandHandler::handleGetCommandCategories(const ls::Command&) const
{
    QVariantList categories;
    for (auto it = m_table.cbegin(); it != m_table.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        if (entry.contains(ls::categoryKey)) {
            continue;
        }
        categories.append(QVariantMap{{ls::descriptionKey, entry.value(ls::descriptionKey)},
                                      {ls::idKey, it.key()}});
    }
    QVariantMap reply = makeReply(ls::ResultId::Success, ls::undefinedKey);
    reply.insert(ls::commandCategoriesKey, categories);
    return reply;
}

QVariantMap CommandHandler::handleGetCommands(const ls::Command& command) const
{
    const QVariant requested = command.value(ls::categoryKey);
    QVariantList commands;
    for (auto it = m_table.cbegin(); it != m_table.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        if (!entry.contains(ls::categoryKey) || entry.value(ls::categoryKey) != requested) {
            continue;
        }
        QVariantMap element{{ls::descriptionKey, entry.value(ls::descriptionKey)},
                            {ls::idKey, it.key()}};
        const int argumentCount = getArgumentCount(it.key());
        if (argumentCount > 0) {
            element.insert(ls::argumentCountKey, argumentCount);
            element.insert(ls::argumentTypesKey, entry.value(ls::argumentTypesKey));
        }
        commands.append(element);
    }
    QVariantMap reply = makeReply(ls::ResultId::Success, ls::undefinedKey);
    reply.insert(ls::commandsKey, commands);
    return reply;
}
