#include "CommandHandler.h"

#include "BusLimits.h"
#include "CategoryEnumerations.h"
#include "ConfigurationManagerProxy.h"
#include "DocumentManagerProxy.h"
#include "Lane.h"
#include "LogPrefix.h"
#include "PrintManagerProxy.h"
#include "Siblings.h"
#include "Singleton.h"
#include "SpeechProxy.h"
#include "TableTexts.h"
#include "ls/Enums.h"
#include "ls/JFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>
#include <QtDebug>

#include <cmath>
#include <limits>
#include <optional>

namespace {

// Created on first use, off unless the logging rules switch it on.
const QLoggingCategory& commandHandlerCategory()
{
    static const QLoggingCategory category("CommandHandler", QtCriticalMsg);
    return category;
}

QString firstStateDirectory()
{
    return qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
}

EnumValue subCommandValue(const ls::Command& command)
{
    return command.value(ls::subCommandIdKey).toString().toInt(nullptr, 10);
}

// The command table's JSON nulls have no form on the bus; they are left out of what the
// catalogue copies from the table.
QVariant withoutNulls(const QVariant& value)
{
    if (!value.isValid() || value.userType() == QMetaType::Nullptr) {
        return {};
    }
    if (value.userType() == QMetaType::QVariantMap) {
        QVariantMap map;
        const QVariantMap source = value.toMap();
        for (auto it = source.cbegin(); it != source.cend(); ++it) {
            const QVariant kept = withoutNulls(it.value());
            if (kept.isValid()) {
                map.insert(it.key(), kept);
            }
        }
        return map;
    }
    if (value.userType() == QMetaType::QVariantList) {
        QVariantList list;
        for (const QVariant& element : value.toList()) {
            const QVariant kept = withoutNulls(element);
            if (kept.isValid()) {
                list.append(kept);
            }
        }
        return list;
    }
    return value;
}

// The device library's reader only says that a table could not be read; whoever edited it needs
// to know why, so the file is looked at once more.
QString whyUnreadable(const QString& path)
{
    // A pipe's contents are gone once read, and opening it again would wait for a writer.
    if (const QFileInfo info(path); info.exists() && !info.isFile()) {
        return QStringLiteral("not a regular file");
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return file.errorString();
    }
    const QByteArray contents = file.readAll();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(contents, &error);
    if (error.error != QJsonParseError::NoError) {
        // Qt's parser stops just past the character it could not take.
        const QByteArray before = contents.left(qMax(error.offset - 1, 0));
        const int line = before.count('\n') + 1;
        const int column = before.size() - before.lastIndexOf('\n');
        return QStringLiteral("line %1, column %2: %3")
            .arg(line)
            .arg(column)
            .arg(error.errorString());
    }
    if (!document.isObject()) {
        return QStringLiteral("not a JSON object");
    }
    // Read whole now: it changed under the reader.
    return QStringLiteral("the file changed while it was read");
}

QVariantMap failureReply()
{
    return CommandHandler::makeReply(ls::ResultId::Failure, ls::undefinedKey);
}

QVariantMap unknownResultType(const char* prefix)
{
    qCritical() << prefix << "Unable to find the function type.";
    return failureReply();
}

// A backend call that did not complete fails the command: a method the client does not offer
// (logged here), or a sibling call that failed (the client library has logged why). One that
// completed keeps whatever it contributed, even false or an empty map, unless the bus could not
// carry the reply.
QVariantMap completeReply(QVariantMap reply, const detail::CallOutcome& outcome, const char* prefix,
                          const QString& function)
{
    if (!outcome.invoked) {
        qCritical() << prefix << "Backend method" << function << "cannot be called.";
        return failureReply();
    }
    if (!outcome.failure.isEmpty()) {
        return failureReply();
    }
    reply.insert(ls::resultIdKey, ls::ResultId::Success);
    reply.insert(ls::errorIdKey, ls::undefinedKey);
    const QString problem = BusLimits::problem(reply);
    if (!problem.isEmpty()) {
        qCritical().noquote()
            << prefix
            << QStringLiteral("The answer of %1 is not passed on: it %2.").arg(function, problem);
        return failureReply();
    }
    return reply;
}

// A bool or int answer reaches the caller under the backend method's name.
QVariantMap answerDetails(const QString& function, const QVariant& answer)
{
    return {{ls::detailsMapKey, QVariantMap{{function, answer}}}};
}

bool isIntegral(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

// Requests typed at the console or carried in JSON give numbers as text or as doubles; any
// other value would be a guess.
std::optional<int> strictInt(const QVariant& value)
{
    bool ok = false;
    qlonglong number = 0;
    if (isIntegral(value) || value.userType() == QMetaType::QString) {
        number = value.toString().trimmed().toLongLong(&ok);
    } else if (value.userType() == QMetaType::Double) {
        const double real = value.toDouble();
        ok = std::isfinite(real) && std::trunc(real) == real && std::fabs(real) < 1e18;
        number = ok ? static_cast<qlonglong>(real) : 0;
    }
    if (!ok || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

// A boolean, or true, false, 1 or 0 as text or number.
std::optional<bool> strictBool(const QVariant& value)
{
    if (value.userType() == QMetaType::Bool) {
        return value.toBool();
    }
    if (value.userType() == QMetaType::Double) {
        const std::optional<int> number = strictInt(value);
        return number == 1 || number == 0 ? std::optional<bool>(number == 1) : std::nullopt;
    }
    if (!isIntegral(value) && value.userType() != QMetaType::QString) {
        return std::nullopt;
    }
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1")) {
        return true;
    }
    if (text == QLatin1String("false") || text == QLatin1String("0")) {
        return false;
    }
    return std::nullopt;
}

// The request's argument list; nothing when it carries arguments that are no list.
std::optional<QVariantList> argumentList(const ls::Command& command)
{
    const QVariant args = command.value(ls::argsKey);
    if (!args.canConvert<QVariantList>()) {
        return std::nullopt;
    }
    return qvariant_cast<QVariantList>(args);
}

} // namespace

const QHash<QString, CommandHandler::CategoryHandler> CommandHandler::commandHandlers = {
    {ls::CommandHandlerCmdId::GetCommandCategories, &CommandHandler::handleGetCommandCategories},
    {ls::CommandHandlerCmdId::GetCommands, &CommandHandler::handleGetCommands},
};

const QHash<QString, CommandHandler::CategoryHandler> CommandHandler::categoryHandlers = {
    {ls::CommandCategories::ConfigurationCommandId, &CommandHandler::handleConfigurationCommands},
    {ls::CommandCategories::PaperFeedCommandId, &CommandHandler::handlePaperFeedCommands},
    {ls::CommandCategories::DocumentCommandId, &CommandHandler::handleDocumentCommands},
    {ls::CommandCategories::EmbossCommandId, &CommandHandler::handleEmbossCommands},
    {ls::CommandCategories::TestingCommandId, &CommandHandler::handleTestingCommands},
    {ls::CommandCategories::IpcCommandId, &CommandHandler::handleIpcCommands},
};

struct CommandHandler::TableCall {
    QString resultType;
    QString function;
    int argumentCount = 0;
    QVariantList args;

    // Commands without arguments go to the proxy overload that passes none.
    template <typename Proxy, typename Result>
    Result invoke(const Proxy& proxy,
                  Result (Proxy::*plain)(const QString&, detail::CallOutcome*) const,
                  Result (Proxy::*withArgs)(const QString&, const QList<QVariant>&,
                                            detail::CallOutcome*) const,
                  detail::CallOutcome* outcome) const
    {
        if (argumentCount == 0) {
            return (proxy.*plain)(function, outcome);
        }
        return (proxy.*withArgs)(function, args, outcome);
    }
};

CommandHandler::CommandHandler(QObject* parent) : QObject(parent) {}

QString CommandHandler::commandTablePath()
{
    static const QString path = QStringLiteral("%1/%2").arg(
        firstStateDirectory().isEmpty() ? tableText::directory : firstStateDirectory(),
        tableText::fileName);
    return path;
}

bool CommandHandler::initialize()
{
    ls::JFile file(nullptr);
    QVariantMap table;
    if (!file.read(commandTablePath(), table)) {
        CH_LOG_ERROR() << "reading" << commandTablePath() << "failed!";
        CH_LOG_ERROR() << qUtf8Printable(whyUnreadable(commandTablePath()));
        return false;
    }
    m_table = table;
    m_leftOutOfCatalogue = 0;
    m_categories = listCategories();
    prepareCommands();
    fitCatalogueInOneReply();
    if (m_leftOutOfCatalogue > maximumLeftOutLines) {
        CH_LOG_ERROR() << qUtf8Printable(
            QStringLiteral("%1 more entries were left out of the catalogue.")
                .arg(m_leftOutOfCatalogue - maximumLeftOutLines));
    }
    return true;
}

void CommandHandler::reload()
{
    if (!initialize()) {
        CH_LOG_ERROR() << "The command table in use stays.";
        return;
    }
    qInfo().noquote()
        << QStringLiteral("Command table reloaded: %1 commands").arg(m_commands.size());
    for (Lane* lane : findChildren<Lane*>(QString(), Qt::FindDirectChildrenOnly)) {
        lane->shareTableOf(*this);
    }
}

bool CommandHandler::mayReportLeftOut()
{
    return m_leftOutOfCatalogue++ < maximumLeftOutLines;
}

int CommandHandler::getArgumentCount(const EnumKey& key) const
{
    const auto found = m_table.constFind(key);
    if (found == m_table.cend()) {
        CH_LOG_ERROR() << "Parameter" << key << "not found!";
        return 0;
    }
    return getArgumentCount(found.value().toMap());
}

int CommandHandler::getArgumentCount(const QVariantMap& entry) const
{
    const auto count = entry.constFind(ls::argumentCountKey);
    if (count == entry.cend()) {
        CH_LOG_ERROR() << "Parameter" << ls::argumentCountKey << "not found!";
        return 0;
    }
    return count.value().toInt();
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
    if (const CategoryEnumeration* found = categoryOfCommand(value)) {
        return found->category;
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

void CommandHandler::shareTableOf(const CommandHandler& source)
{
    m_table = source.m_table;
    m_categories = source.m_categories;
    m_commands = source.m_commands;
}

void CommandHandler::shareTableWith(CommandHandler* laneHandler) const
{
    QMetaObject::invokeMethod(
        laneHandler,
        [laneHandler, table = m_table, categories = m_categories, commands = m_commands] {
            laneHandler->m_table = table;
            laneHandler->m_categories = categories;
            laneHandler->m_commands = commands;
        },
        Qt::QueuedConnection);
}

void CommandHandler::startLanes(int capacity)
{
    for (const Sibling& sibling : siblings::all()) {
        auto* lane = new Lane(sibling, *this, capacity, this);
        for (const QString& category : sibling.categories) {
            m_lanes.insert(category, lane);
        }
    }
}

void CommandHandler::stopLanes()
{
    const QList<Lane*> lanes = findChildren<Lane*>(QString(), Qt::FindDirectChildrenOnly);
    for (Lane* lane : lanes) {
        lane->requestStop();
    }
    // All lanes stop together: the whole stop takes at most one sibling call time-out.
    const QDeadlineTimer deadline(Lane::stopTimeoutMs);
    for (Lane* lane : lanes) {
        lane->waitStopped(deadline);
    }
}

Lane* CommandHandler::laneFor(const QVariantMap& request) const
{
    // The checks of process for a category command, without its log lines.
    if (m_lanes.isEmpty() ||
        request.value(ls::commandIdKey).toString() != ls::CommandHandlerCmdId::HandleCommand ||
        !ls::ServiceId::meta.hasKey(request.value(ls::senderIdKey).toString())) {
        return nullptr;
    }
    const CategoryEnumeration* category =
        categoryOfCommand(request.value(ls::subCommandIdKey).toString().toInt(nullptr, 10));
    return category != nullptr ? m_lanes.value(category->category) : nullptr;
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

QVariantList CommandHandler::listCategories()
{
    QVariantList categories;
    for (auto it = m_table.cbegin(); it != m_table.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        if (entry.contains(ls::categoryKey)) {
            continue;
        }
        QVariantMap element{{ls::idKey, it.key()}};
        copyToCatalogue(element, it.key(), entry, ls::descriptionKey);
        categories.append(element);
    }
    return categories;
}

void CommandHandler::prepareCommands()
{
    m_commands.clear();
    for (auto it = m_table.cbegin(); it != m_table.cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        const auto category = entry.constFind(ls::categoryKey);
        if (category == entry.cend()) {
            continue;
        }
        ListedCommand listed{category.value(), {{ls::idKey, it.key()}}, {}};
        copyToCatalogue(listed.element, it.key(), entry, ls::descriptionKey);
        if (!entry.contains(ls::argumentCountKey)) {
            // Kept so that every listing reports the missing count, as the table query does.
            listed.entryWithoutCount = entry;
        } else if (const int argumentCount = getArgumentCount(entry); argumentCount > 0) {
            listed.element.insert(ls::argumentCountKey, argumentCount);
            copyToCatalogue(listed.element, it.key(), entry, ls::argumentTypesKey);
        }
        m_commands.append(listed);
    }
}

// A field the table lacks (or holds as null) is left out of a catalogue element rather than
// sent empty: an empty value cannot travel on the bus. So is one the bus could not carry in a
// reply: the bus would drop the service's connection, and marshalling a value nested far
// beyond the limit aborts the process.
void CommandHandler::copyToCatalogue(QVariantMap& element, const EnumKey& name,
                                     const QVariantMap& entry, const QString& field)
{
    const QVariant value = withoutNulls(entry.value(field));
    if (!value.isValid()) {
        return;
    }
    // Where the field sits in a catalogue reply.
    const QString problem =
        BusLimits::problem({{ls::commandsKey, QVariantList{QVariantMap{{field, value}}}}});
    if (!problem.isEmpty()) {
        if (mayReportLeftOut()) {
            CH_LOG_ERROR() << qUtf8Printable(
                QStringLiteral("%1 of \"%2\" left out of the catalogue: it %3.")
                    .arg(field, name, problem));
        }
        return;
    }
    element.insert(field, value);
}

// The categories make one reply, and each category's commands one reply of their own; an entry
// is left out only of the reply it would make larger than the bus carries.
void CommandHandler::fitCatalogueInOneReply()
{
    qint64 size = 0;
    QVariantList categories;
    for (const QVariant& element : qAsConst(m_categories)) {
        if (fitsInOneReply(element.toMap(), size)) {
            categories.append(element);
        }
    }
    m_categories = categories;
    // Keyed by the category as text: categories that only the text tells apart share a budget,
    // which leaves out more rather than too little.
    QHash<QString, qint64> sizeOfCategory;
    QVector<ListedCommand> commands;
    for (const ListedCommand& listed : qAsConst(m_commands)) {
        if (fitsInOneReply(listed.element, sizeOfCategory[listed.category.toString()])) {
            commands.append(listed);
        }
    }
    m_commands = commands;
}

bool CommandHandler::fitsInOneReply(const QVariantMap& element, qint64& listSize)
{
    // The reply's result, error and list key.
    constexpr qint64 replyFrame = 256;
    const qint64 size = BusLimits::elementSize(element);
    if (replyFrame + listSize + size > BusLimits::maximumBodySize) {
        if (mayReportLeftOut()) {
            CH_LOG_ERROR() << qUtf8Printable(
                QStringLiteral("\"%1\" left out of the catalogue: the reply would exceed what "
                               "the bus carries in one message.")
                    .arg(element.value(ls::idKey).toString()));
        }
        return false;
    }
    listSize += size;
    return true;
}

QVariantMap CommandHandler::handleGetCommandCategories(const ls::Command&) const
{
    QVariantMap reply = makeReply(ls::ResultId::Success, ls::undefinedKey);
    reply.insert(ls::commandCategoriesKey, m_categories);
    return reply;
}

QVariantMap CommandHandler::handleGetCommands(const ls::Command& command) const
{
    const QVariant requested = command.value(ls::categoryKey);
    QVariantList commands;
    for (const ListedCommand& listed : m_commands) {
        if (listed.category != requested) {
            continue;
        }
        if (!listed.entryWithoutCount.isEmpty()) {
            getArgumentCount(listed.entryWithoutCount);
        }
        commands.append(listed.element);
    }
    QVariantMap reply = makeReply(ls::ResultId::Success, ls::undefinedKey);
    reply.insert(ls::commandsKey, commands);
    return reply;
}

template <typename Proxy>
const Proxy* CommandHandler::prepareTableCall(const ls::Command& command,
                                              const ls::MetaEnum& commands, const char* prefix,
                                              TableCall& call) const
{
    const EnumKey entry = commands.key(subCommandValue(command));
    if (!commands.hasKey(entry)) {
        return nullptr;
    }
    const Proxy* proxy = libpivra::Singleton<Proxy>::instance();
    const auto functionInfo = getFunctionInfo(entry);
    call.resultType = functionInfo.first;
    call.function = functionInfo.second;
    if (call.function == tableText::notImplemented) {
        qCritical() << prefix << "Command not implemented";
        return nullptr;
    }
    call.argumentCount = getArgumentCount(entry);
    return readArguments(command, prefix, call) ? proxy : nullptr;
}

bool CommandHandler::readArguments(const ls::Command& command, const char* prefix, TableCall& call)
{
    if (command.contains(ls::argsKey)) {
        call.args = qvariant_cast<QVariantList>(command.value(ls::argsKey));
    } else if (call.argumentCount != 0) {
        qCritical() << prefix
                    << QStringLiteral("%1 key not found. Please provide the parameter list.")
                           .arg(ls::argsKey);
        return false;
    }
    if (call.argumentCount != call.args.size()) {
        qCritical() << prefix << "Mismatch between argument count and provided arguments number.";
        qInfo() << QStringLiteral("Please provide %1 parameters").arg(call.argumentCount);
        return false;
    }
    return true;
}

QVariantMap CommandHandler::handlePaperFeedCommands(const ls::Command& command) const
{
    using Proxy = detail::PrintManagerProxy;
    const std::string prefix = logPrefix(__func__, Q_FUNC_INFO, "ERROR:");
    TableCall call;
    const Proxy* proxy =
        prepareTableCall<Proxy>(command, ls::PaperFeedCommandId::meta, prefix.c_str(), call);
    if (proxy == nullptr) {
        return failureReply();
    }
    detail::CallOutcome outcome;
    QVariantMap reply;
    if (call.resultType == tableText::voidType) {
        call.invoke(*proxy, &Proxy::paperFeedCmd, &Proxy::paperFeedCmd, &outcome);
    } else if (call.resultType == tableText::intType) {
        reply = answerDetails(call.function, call.invoke(*proxy, &Proxy::paperFeedIntCmd,
                                                         &Proxy::paperFeedIntCmd, &outcome));
    } else if (call.resultType == tableText::boolType) {
        reply = answerDetails(call.function, call.invoke(*proxy, &Proxy::paperFeedBoolCmd,
                                                         &Proxy::paperFeedBoolCmd, &outcome));
    } else {
        return unknownResultType(prefix.c_str());
    }
    return completeReply(reply, outcome, prefix.c_str(), call.function);
}

template <typename Proxy>
QVariantMap
CommandHandler::handleVoidCommands(const ls::Command& command, const ls::MetaEnum& commands,
                                   const char* prefix,
                                   void (Proxy::*plain)(const QString&, detail::CallOutcome*) const,
                                   void (Proxy::*withArgs)(const QString&, const QList<QVariant>&,
                                                           detail::CallOutcome*) const) const
{
    TableCall call;
    const Proxy* proxy = prepareTableCall<Proxy>(command, commands, prefix, call);
    if (proxy == nullptr) {
        return failureReply();
    }
    if (call.resultType != tableText::voidType) {
        return unknownResultType(prefix);
    }
    detail::CallOutcome outcome;
    call.invoke(*proxy, plain, withArgs, &outcome);
    return completeReply({}, outcome, prefix, call.function);
}

QVariantMap CommandHandler::handleEmbossCommands(const ls::Command& command) const
{
    using Proxy = detail::DocumentManagerProxy;
    const std::string prefix = logPrefix(__func__, Q_FUNC_INFO, "ERROR:");
    return handleVoidCommands<Proxy>(command, ls::EmbossCommandId::meta, prefix.c_str(),
                                     &Proxy::documentCmd, &Proxy::documentCmd);
}

QVariantMap CommandHandler::handleTestingCommands(const ls::Command& command) const
{
    using Proxy = detail::SpeechProxy;
    const std::string prefix = logPrefix(__func__, Q_FUNC_INFO, "ERROR:");
    return handleVoidCommands<Proxy>(command, ls::TestingCommandId::meta, prefix.c_str(),
                                     &Proxy::speechCmd, &Proxy::speechCmd);
}

QVariantMap CommandHandler::handleDocumentCommands(const ls::Command& command) const
{
    using Proxy = detail::DocumentManagerProxy;
    const std::string prefix = logPrefix(__func__, Q_FUNC_INFO, "ERROR:");
    TableCall call;
    const Proxy* proxy =
        prepareTableCall<Proxy>(command, ls::DocumentCommandId::meta, prefix.c_str(), call);
    if (proxy == nullptr) {
        return failureReply();
    }
    QVariantMap reply;
    detail::CallOutcome outcome;
    if (call.resultType == tableText::voidType) {
        call.invoke(*proxy, &Proxy::documentCmd, &Proxy::documentCmd, &outcome);
    } else if (call.resultType == tableText::boolType) {
        reply = answerDetails(call.function, call.invoke(*proxy, &Proxy::documentBoolCmd,
                                                         &Proxy::documentBoolCmd, &outcome));
    } else if (call.resultType == tableText::variantListType) {
        // The list query takes no arguments on the backend side, whatever the table counts.
        reply.insert(ls::detailsListMapKey, proxy->documentListMapCmd(call.function, &outcome));
    } else {
        return unknownResultType(prefix.c_str());
    }
    return completeReply(reply, outcome, prefix.c_str(), call.function);
}

QVariantMap CommandHandler::handleConfigurationCommands(const ls::Command& command) const
{
    using Proxy = detail::ConfigurationManagerProxy;
    const std::string prefix = logPrefix(__func__, Q_FUNC_INFO, "ERROR:");
    TableCall call;
    const Proxy* proxy =
        prepareTableCall<Proxy>(command, ls::ConfigurationCommandId::meta, prefix.c_str(), call);
    if (proxy == nullptr) {
        return failureReply();
    }
    QVariantMap reply;
    detail::CallOutcome outcome;
    if (call.resultType == tableText::variantMapType) {
        reply =
            call.invoke(*proxy, &Proxy::configurationMapCmd, &Proxy::configurationMapCmd, &outcome);
    } else if (call.resultType == tableText::listType) {
        const QVariantMap details = call.invoke(*proxy, &Proxy::configurationListCmd,
                                                &Proxy::configurationListCmd, &outcome);
        if (!details.isEmpty()) {
            reply.insert(ls::detailsMapKey, details);
        }
    } else if (call.resultType == tableText::voidType) {
        // Commands without result take no arguments on the backend side.
        proxy->configurationCmd(call.function, &outcome);
    } else {
        return unknownResultType(prefix.c_str());
    }
    return completeReply(reply, outcome, prefix.c_str(), call.function);
}

QVariantMap CommandHandler::handleIpcCommands(const ls::Command& command) const
{
    const std::string prefix = logPrefix(__func__, Q_FUNC_INFO, "ERROR:");
    // Fetched first, so that even a rejected IPC request brings print-manager's client up.
    const detail::PrintManagerProxy* proxy =
        libpivra::Singleton<detail::PrintManagerProxy>::instance();
    const EnumValue value = subCommandValue(command);
    const EnumKey entry = ls::IpcCommandId::meta.key(value);
    if (!ls::IpcCommandId::meta.hasKey(entry)) {
        return failureReply();
    }
    // These switch hardware: an argument that does not say exactly what to do is refused
    // rather than guessed.
    detail::CallOutcome outcome;
    if (value == ls::IpcCommandId::meta.value(ls::IpcCommandId::IPCState)) {
        const std::optional<bool> state = ipcState(command);
        if (!state) {
            qCritical() << prefix.c_str()
                        << "IPCState takes exactly one argument: true, false, 1 or 0.";
            return failureReply();
        }
        return completeReply(proxy->setIPCState(*state, &outcome), outcome, prefix.c_str(),
                             QStringLiteral("setIPCState"));
    }
    const std::optional<int> parameter = testParameter(command, entry);
    if (!parameter) {
        qCritical() << prefix.c_str() << entry << "takes an integer parameter.";
        return failureReply();
    }
    return completeReply(proxy->runTestCmd(value, *parameter, &outcome), outcome, prefix.c_str(),
                         QStringLiteral("runTestCmd"));
}

// Without arguments the state is true, as callers have always relied on; the console always
// sends an argument list, empty when nothing was typed, and that too is no argument. Otherwise
// the first argument says it.
std::optional<bool> CommandHandler::ipcState(const ls::Command& command)
{
    const std::optional<QVariantList> args =
        command.contains(ls::argsKey) ? argumentList(command) : QVariantList();
    if (!args) {
        return std::nullopt;
    }
    return args->isEmpty() ? std::optional<bool>(true) : strictBool(args->constFirst());
}

// 0 when the test takes no parameter or none is given; the table's count decides.
std::optional<int> CommandHandler::testParameter(const ls::Command& command,
                                                 const EnumKey& entry) const
{
    if (getArgumentCount(entry) <= 0 || !command.contains(ls::argsKey)) {
        return 0;
    }
    const std::optional<QVariantList> args = argumentList(command);
    if (!args) {
        return std::nullopt;
    }
    return args->isEmpty() ? 0 : strictInt(args->constFirst());
}
