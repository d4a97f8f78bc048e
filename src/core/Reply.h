#pragma once

#include "ls/Enums.h"
#include "ls/Keys.h"

#include <QString>
#include <QVariantMap>

// The two entries every reply starts from, and the reply of a command that was not carried out.
namespace reply {

inline QVariantMap make(const QString& resultId, const QString& errorId)
{
    return {{ls::resultIdKey, resultId}, {ls::errorIdKey, errorId}};
}

inline QVariantMap failure()
{
    return make(ls::ResultId::Failure, ls::undefinedKey);
}

} // namespace reply
