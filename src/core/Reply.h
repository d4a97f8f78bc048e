#pragma once

#include "ErrorText.h"
#include "ls/Enums.h"
#include "ls/Keys.h"

#include <QString>
#include <QVariantMap>

// The two entries every reply starts from, and the replies of a request that was refused or a
// command that was not carried out. Those carry why, from where it arises; whoever sends the
// reply keeps it only for a caller that asked (see errorTextKey).
namespace reply {

inline QVariantMap make(const QString& resultId, const QString& errorId)
{
    return {{ls::resultIdKey, resultId}, {ls::errorIdKey, errorId}};
}

inline QVariantMap refusal(const QString& errorId, const QString& why)
{
    QVariantMap refused = make(ls::ResultId::Failure, errorId);
    refused.insert(errorTextKey, why);
    return refused;
}

inline QVariantMap failure(const QString& why)
{
    return refusal(ls::undefinedKey, why);
}

inline bool isFailure(const QVariantMap& answer)
{
    return answer.value(ls::resultIdKey) == ls::ResultId::Failure;
}

// The reply as the caller gets it: a failure keeps its reason only for a request that asked for
// it, so that every other reply is exactly what it always was.
inline QVariantMap forCaller(QVariantMap answer, bool reasonAsked)
{
    if (!reasonAsked && isFailure(answer)) {
        answer.remove(errorTextKey);
    }
    return answer;
}

} // namespace reply
