#pragma once

#include "ls/Enums.h"
#include "ls/Keys.h"

#include <QHash>
#include <QVariantList>
#include <QVariantMap>

// The requests the bench sends, by the name it gives them: the catalogue and one command of
// each sibling (paper feed, documents, settings, speech rate). Empty for an unknown name.
namespace benchRequests {

inline QVariantMap named(const QString& name)
{
    QVariantMap request{{ls::commandIdKey, ls::CommandHandlerCmdId::GetCommandCategories},
                        {ls::senderIdKey, ls::ServiceId::WebServer}};
    if (name == QLatin1String("categories")) {
        return request;
    }
    const QHash<QString, QPair<int, QVariantList>> commands{
        {QStringLiteral("feed"), {202, {1}}},
        {QStringLiteral("documents"), {300, {}}},
        {QStringLiteral("settings"), {100, {}}},
        {QStringLiteral("rate"), {502, {50}}}};
    const auto command = commands.constFind(name);
    if (command == commands.constEnd()) {
        return {};
    }
    request.insert(ls::commandIdKey, ls::CommandHandlerCmdId::HandleCommand);
    request.insert(ls::subCommandIdKey, command->first);
    if (!command->second.isEmpty()) {
        request.insert(ls::argsKey, command->second);
    }
    return request;
}

} // namespace benchRequests
