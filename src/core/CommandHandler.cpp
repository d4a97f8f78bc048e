#include "CommandHandler.h"

#include "ArgumentConversion.h"
#include "BusLimits.h"
#include "Category.h"
#include "ErrorLine.h"
#include "ErrorText.h"
#include "IpcArguments.h"
#include "Reply.h"
#include "SiblingLink.h"
#include "Siblings.h"
#include "TableCheck.h"
#include "TableTexts.h"
#include "ls/Enums.h"

#include <QLoggingCategory>
#include <QtDebug>

#include <future>

namespace {

// The request's checks have always logged under the name of the method that takes requests.
const QString requestChecks = QStringLiteral("CommandHandler::process");

// Created on first use, off unless the logging rules switch it on.
const QLoggingCategory& commandHandlerCategory()
{
    static const QLoggingCategory category("CommandHandler", QtCriticalMsg);
    return category;
}

// A request refused for its own fields, with its line.
QVariantMap refuse(const char* line, const QString& errorId, const char* what, const QString& value)
{
    errorLine(requestChecks) << line;
    return reply::refusal(
        errorId, QStringLiteral("%1 \"%2\"").arg(QLatin1String(what), errorText::shortened(value)));
}

EnumValue subCommandValue(const ls::Command& command)
{
    return command.value(ls::subCommandIdKey).toString().toInt(nullptr, 10);
}

} // namespace

const QHash<QString, CommandHandler::CatalogueHandler> CommandHandler::catalogueHandlers = {
    {ls::CommandHandlerCmdId::GetCommandCategories, &CommandHandler::handleGetCommandCategories},
    {ls::CommandHandlerCmdId::GetCommands, &CommandHandler::handleGetCommands},
};

CommandHandler::CommandHandler(CallCarrier& carrier, QObject* parent)
    : QObject(parent), m_table(std::make_shared<CommandTable>()), m_carrier(carrier)
{
}

CommandHandler::TableLoad CommandHandler::load(const QString& path)
{
    CommandTable::Loaded loaded = CommandTable::load(path);
    if (loaded.table == nullptr) {
        emit tableRefused(path, loaded.refusal);
        return {false, 0, 0, loaded.refusal};
    }
    const QStringList problems = TableCheck::problems(*loaded.table, m_carrier);
    TableCheck::report(problems);
    m_table = std::move(loaded.table);
    emit tableLoaded(path, m_table->commandCount());
    return {true, m_table->commandCount(), int(problems.size()), {}};
}

bool CommandHandler::initialize()
{
    const TableLoad load = this->load(commandTablePath());
    if (load.loaded) {
        qInfo().noquote() << QStringLiteral("Command table loaded: %1 commands").arg(load.commands);
    }
    return load.loaded;
}

// Commands already on their lanes were checked against the old table and run as checked.
void CommandHandler::reload()
{
    const TableLoad load = this->load(commandTablePath());
    if (!load.loaded) {
        CH_ERROR_LINE() << "The command table in use stays.";
        return;
    }
    qInfo().noquote() << QStringLiteral("Command table reloaded: %1 commands").arg(load.commands);
}

const EnumKey CommandHandler::getCategory(const EnumValue& value) const
{
    if (const Category* found = Category::holding(value)) {
        return found->key;
    }
    CH_ERROR_LINE() << "Command category not found!";
    return ls::undefinedKey;
}

bool CommandHandler::isValidSubCommand(const EnumValue& value) const
{
    const Category* category = Category::named(getCategory(value));
    return category != nullptr && category->commands.hasValue(value);
}

std::optional<QVariantMap> CommandHandler::submit(const QVariantMap& request, Completion completion)
{
    const bool reasonAsked = asksForReason(request);
    const Routing routing = route(request);
    if (const auto* immediate = std::get_if<QVariantMap>(&routing)) {
        count(*immediate);
        return outgoing(*immediate, reasonAsked);
    }
    const std::optional<QVariantMap> answered = m_carrier.carry(
        std::get<SiblingCall>(routing),
        [reasonAsked, completion = std::move(completion)](const QVariantMap& answer) {
            completion(outgoing(answer, reasonAsked));
        });
    if (answered) {
        return outgoing(*answered, reasonAsked);
    }
    return std::nullopt;
}

QVariantMap CommandHandler::process(const QVariantMap& request)
{
    // The completion may run on another thread, and only once.
    auto later = std::make_shared<std::promise<QVariantMap>>();
    std::future<QVariantMap> reply = later->get_future();
    if (std::optional<QVariantMap> now =
            submit(request, [later](const QVariantMap& answer) { later->set_value(answer); })) {
        return *now;
    }
    return reply.get();
}

// The last word on every reply: one the bus would refuse would cost the service its connection
// and every other waiting caller their replies, so it goes as the plain failure instead. A
// success has been measured where it was made (the catalogue when the table was loaded, a
// sibling's answer on its lane); only a failure's reason is measured here.
QVariantMap CommandHandler::outgoing(const QVariantMap& answer, bool reasonAsked)
{
    if (!reply::isFailure(answer)) {
        return answer;
    }
    const QVariantMap reply = reply::forCaller(answer, reasonAsked);
    const QString problem = BusLimits::problem(reply);
    if (problem.isEmpty()) {
        return reply;
    }
    CH_ERROR_LINE() << qUtf8Printable(
        QStringLiteral("The reply is not sent as it is: it %1; a plain failure goes instead.")
            .arg(problem));
    return makeReply(ls::ResultId::Failure, answer.value(ls::errorIdKey).toString());
}

void CommandHandler::count(const QVariantMap& immediate)
{
    if (reply::isFailure(immediate)) {
        ++m_tally.refused[immediate.value(ls::errorIdKey).toString()];
    } else {
        ++m_tally.answered;
    }
}

bool CommandHandler::asksForReason(const QVariantMap& request)
{
    return ArgumentConversion::toBool(request.value(errorTextKey)).value_or(false);
}

CommandHandler::Routing CommandHandler::route(const QVariantMap& request) const
{
    const QString commandId = request.value(ls::commandIdKey).toString();
    const ls::Command command(request);

    const auto catalogueHandler = catalogueHandlers.constFind(commandId);
    if (catalogueHandler != catalogueHandlers.constEnd()) {
        const QString sender = request.value(ls::senderIdKey).toString();
        if (!ls::ServiceId::meta.hasKey(sender)) {
            return refuse("Invalid sender!", ls::ErrorId::InvalidSender, "Invalid sender", sender);
        }
        return (this->*catalogueHandler.value())(command);
    }

    const EnumValue value = request.value(ls::subCommandIdKey).toString().toInt(nullptr, 10);
    const EnumKey category = getCategory(value);
    if (commandId != ls::CommandHandlerCmdId::HandleCommand) {
        return refuse("Invalid command!", ls::ErrorId::InvalidCmd, "Invalid command", commandId);
    }
    if (!isValidSubCommand(value)) {
        return refuse("Invalid sub-command!", ls::ErrorId::InvalidCmd, "Invalid sub-command",
                      request.value(ls::subCommandIdKey).toString());
    }
    const QString sender = request.value(ls::senderIdKey).toString();
    if (!ls::ServiceId::meta.hasKey(sender)) {
        return refuse("Invalid sender!", ls::ErrorId::InvalidSender, "Invalid sender", sender);
    }
    qCDebug(commandHandlerCategory)
        << "process command -" << commandId << "from sender -" << sender;
    // A valid command number has a category.
    const Category& checked = *Category::named(category);
    return checked.resultTypes.isEmpty() ? checkIpcCall(command, checked)
                                         : checkTableCall(command, checked);
}

QString CommandHandler::checksOrigin(const Category& category)
{
    QString name = category.key;
    name.chop(int(qstrlen("CommandId")));
    return QStringLiteral("CommandHandler::handle%1Commands").arg(name);
}

CommandHandler::Routing CommandHandler::handleGetCommandCategories(const ls::Command&) const
{
    QVariantMap answer = makeReply(ls::ResultId::Success, ls::undefinedKey);
    answer.insert(ls::commandCategoriesKey, m_table->categories());
    return answer;
}

CommandHandler::Routing CommandHandler::handleGetCommands(const ls::Command& command) const
{
    QVariantMap answer = makeReply(ls::ResultId::Success, ls::undefinedKey);
    answer.insert(ls::commandsKey, m_table->commandsOf(command.value(ls::categoryKey)));
    return answer;
}

CommandHandler::Routing CommandHandler::checkTableCall(const ls::Command& command,
                                                       const Category& category) const
{
    SiblingCall call;
    call.number = subCommandValue(command);
    call.origin = checksOrigin(category);
    const EnumKey entry = category.commands.key(call.number);
    const QString label = Category::commandLabel(call.number);
    const auto functionInfo = getFunctionInfo(entry);
    call.resultType = functionInfo.first;
    call.function = functionInfo.second;
    if (call.function == tableText::notImplemented) {
        errorLine(call.origin) << "Command not implemented";
        return reply::failure(label + QStringLiteral(": not implemented"));
    }
    if (const QString refused = readArguments(command, call, getArgumentCount(entry));
        !refused.isEmpty()) {
        return reply::failure(QStringLiteral("%1: %2").arg(label, refused));
    }
    call.category = category.key;
    call.sibling = &category.carrier();
    if (const QString refused = checkArgumentValues(call, m_table->argumentTypes(entry));
        !refused.isEmpty()) {
        return reply::failure(QStringLiteral("%1: %2").arg(label, refused));
    }
    if (!category.resultTypes.contains(call.resultType)) {
        errorLine(call.origin) << "Unable to find the function type.";
        return reply::failure(
            QStringLiteral("%1: the command table gives it no result type of its category (\"%2\")")
                .arg(label, call.resultType));
    }
    return call;
}

// The sibling's client would refuse the same arguments, but only on the lane, behind whatever
// the sibling is busy with; told here in the client's words, so the caller learns at once. So are
// arguments too large for one message: sent, the bus would drop the service's connection.
QString CommandHandler::checkArgumentValues(const SiblingCall& call, const QStringList& types)
{
    qint64 size = 0;
    QString refused;
    for (int i = 0; i < call.args.size() && refused.isEmpty(); ++i) {
        const QString type = types.value(i);
        const bool checked = ArgumentConversion::isArgumentType(type);
        // What the client sends: the table's type, or, for any other, text where it can be.
        const std::optional<QVariant> sent = checked
                                                 ? ArgumentConversion::toType(call.args.at(i), type)
                                                 : ArgumentConversion::toText(call.args.at(i));
        if (checked && !sent) {
            refused = ArgumentConversion::refusal(i + 1, call.args.at(i), type);
        }
        size += BusLimits::elementSize(sent.value_or(call.args.at(i)));
    }
    if (refused.isEmpty() && size > BusLimits::maximumBodySize) {
        refused = QStringLiteral("its arguments take %1 bytes, more than the bus carries in one "
                                 "message")
                      .arg(size);
    }
    if (refused.isEmpty()) {
        return {};
    }
    refused = SiblingLink::failure(call.sibling->busName, call.function, refused);
    CH_ERROR_LINE() << qUtf8Printable(refused);
    return refused;
}

QString CommandHandler::readArguments(const ls::Command& command, SiblingCall& call,
                                      int argumentCount)
{
    if (command.contains(ls::argsKey)) {
        call.args = qvariant_cast<QVariantList>(command.value(ls::argsKey));
    } else if (argumentCount != 0) {
        errorLine(call.origin) << QStringLiteral(
                                      "%1 key not found. Please provide the parameter list.")
                                      .arg(ls::argsKey);
        return QStringLiteral("takes %1 argument(s), the request has no %2")
            .arg(argumentCount)
            .arg(ls::argsKey);
    }
    if (argumentCount != call.args.size()) {
        errorLine(call.origin) << "Mismatch between argument count and provided arguments number.";
        qInfo() << QStringLiteral("Please provide %1 parameters").arg(argumentCount);
        return QStringLiteral("takes %1 argument(s), the request has %2")
            .arg(argumentCount)
            .arg(call.args.size());
    }
    call.withArguments = argumentCount != 0;
    return {};
}

// The IPC commands' arguments switch hardware, so one that does not say exactly what to do is
// refused rather than guessed.
CommandHandler::Routing CommandHandler::checkIpcCall(const ls::Command& command,
                                                     const Category& category) const
{
    const EnumValue value = subCommandValue(command);
    const EnumKey entry = category.commands.key(value);
    const QString label = Category::commandLabel(value);
    SiblingCall call;
    call.sibling = &category.carrier();
    call.category = category.key;
    call.number = value;
    call.origin = checksOrigin(category);
    const IpcArguments arguments(command);
    if (value == ls::IpcCommandId::meta.value(ls::IpcCommandId::IPCState)) {
        const std::optional<bool> state = arguments.state();
        if (!state) {
            errorLine(call.origin) << "IPCState takes exactly one argument: true, false, 1 or 0.";
            return reply::failure(
                QStringLiteral("%1: %2").arg(label, arguments.refusal(QStringLiteral("boolean"))));
        }
        call.operation = SiblingCall::Operation::setIpcState;
        call.function = QStringLiteral("setIPCState");
        call.ipcState = *state;
        return call;
    }
    // The table's count decides whether the test takes a parameter.
    const std::optional<int> parameter = arguments.testParameter(getArgumentCount(entry) > 0);
    if (!parameter) {
        errorLine(call.origin) << entry << "takes an integer parameter.";
        return reply::failure(
            QStringLiteral("%1: %2").arg(label, arguments.refusal(QStringLiteral("integer"))));
    }
    call.operation = SiblingCall::Operation::runTest;
    call.function = QStringLiteral("runTestCmd");
    call.parameter = *parameter;
    return call;
}
