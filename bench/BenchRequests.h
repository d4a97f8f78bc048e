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

} // namespace benchRequests
