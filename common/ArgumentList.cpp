#include "ArgumentList.h"

#include "ls/Keys.h"

#include <QStringList>
#include <QVariantMap>

QString ArgumentList::text(const QVariantList& argumentTypes)
{
    QStringList arguments;
    for (const QVariant& element : argumentTypes) {
        const QVariantMap argument = element.toMap();
        arguments.append(
            QStringLiteral("%1: %2").arg(argument.value(ls::argumentNameKey).toString(),
                                         argument.value(ls::argumentTypeKey).toString()));
    }
    return arguments.isEmpty() ? QStringLiteral("( )")
                               : QStringLiteral("( %1 )").arg(arguments.join(QStringLiteral(", ")));
}
