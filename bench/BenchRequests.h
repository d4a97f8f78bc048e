#pragma once

#include "ls/Enums.h"
#include "ls/Keys.h"

#include <QDBusMessage>
#include <QHash>
#include <QVariantList>
#include <QVariantMap>

// The requests the bench sends, by the name it gives them: the catalogue and one command of
// each sibling (paper feed, documents, settings, speech rate). Empty for an unknown name.
namespace benchRequests {

// The bus name that stands for "each command's sibling itself" in calls.
inline const QString direct = QStringLiteral("direct");
inline const QString printManager = QStringLiteral("com.vellorn.PrintManager");

struct Command {
    int subCommand;
    QVariantList args;
    // The sibling method behind the command, called with the same arguments; as the simulators
    // serve them, the interface is the bus name.
    QString sibling;
    QString method;
};

inline const QHash<QString, Command>& commands()
{
    static const QHash<QString, Command> table{
        {QStringLiteral("feed"), {202, {3}, printManager, QStringLiteral("feedLines")}},
        {QStringLiteral("documents"),
         {300, {}, QStringLiteral("com.vellorn.DocumentManager"), QStringLiteral("documents")}},
        {QStringLiteral("settings"),
         {100,
          {},
          QStringLiteral("com.vellorn.ConfigurationManager"),
          QStringLiteral("getSettings")}},
        {QStringLiteral("rate"),
         {502, {50}, QStringLiteral("com.vellorn.Speech"), QStringLiteral("setRate")}}};
    return table;
}

inline QVariantMap named(const QString& name)
{
    QVariantMap request{{ls::commandIdKey, ls::CommandHandlerCmdId::GetCommandCategories},
                        {ls::senderIdKey, ls::ServiceId::WebServer}};
    if (name == QLatin1String("categories")) {
        return request;
    }
    const auto command = commands().constFind(name);
    if (command == commands().constEnd()) {
        return {};
    }
    request.insert(ls::commandIdKey, ls::CommandHandlerCmdId::HandleCommand);
    request.insert(ls::subCommandIdKey, command->subCommand);
    if (!command->args.isEmpty()) {
        request.insert(ls::argsKey, command->args);
    }
    return request;
}

// The call of process with the named request on the bus name or, for the bus name direct, of
// the command's sibling method. Invalid for an unknown name.
inline QDBusMessage call(const QString& busName, const QString& name)
{
    const QVariantMap request = named(name);
    if (request.isEmpty()) {
        return {};
    }
    if (busName != direct) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            busName, QStringLiteral("/"), QStringLiteral("com.vellorn.CommandHandler"),
            QStringLiteral("process"));
        call.setArguments({request});
        return call;
    }
    const Command command = commands().value(name);
    QDBusMessage call = QDBusMessage::createMethodCall(command.sibling, QStringLiteral("/"),
                                                       command.sibling, command.method);
    call.setArguments(command.args);
    return call;
}

} // namespace benchRequests
