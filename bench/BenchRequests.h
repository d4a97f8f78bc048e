#pragma once

#include "ls/Enums.h"

#include <QVariantList>
#include <QVariantMap>

// The requests the benchmarks send, in process and over the bus.
namespace benchRequests {

inline QVariantMap request(const QString& commandId,
                           const QString& sender = ls::ServiceId::WebServer)
{
    return {{ls::commandIdKey, commandId}, {ls::senderIdKey, sender}};
}

inline QVariantMap deviceCommand(int subCommand, const QVariantList& args = {})
{
    QVariantMap map = request(ls::CommandHandlerCmdId::HandleCommand);
    map.insert(ls::subCommandIdKey, subCommand);
    if (!args.isEmpty()) {
        map.insert(ls::argsKey, args);
    }
    return map;
}

// The requests a load client sends, by the name the bench gives it: the catalogue and one
// command of each sibling. Empty for an unknown name.
inline QVariantMap named(const QString& name)
{
    if (name == QLatin1String("categories")) {
        return request(ls::CommandHandlerCmdId::GetCommandCategories);
    }
    if (name == QLatin1String("feed")) {
        return deviceCommand(202, {1});
    }
    if (name == QLatin1String("documents")) {
        return deviceCommand(300);
    }
    if (name == QLatin1String("settings")) {
        return deviceCommand(100);
    }
    if (name == QLatin1String("rate")) {
        return deviceCommand(502, {50});
    }
    return {};
}

} // namespace benchRequests
