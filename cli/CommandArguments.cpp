#include "CommandArguments.h"

#include "ArgumentConversion.h"
#include "TableTexts.h"
#include "ls/Keys.h"

#include <QVariantMap>

CommandArguments::CommandArguments(const QVariantList& argumentTypes, bool mayBeLeftOut)
    : m_mayBeLeftOut(mayBeLeftOut)
{
    for (const QVariant& element : argumentTypes) {
        const QVariantMap argument = element.toMap();
        m_arguments.append({argument.value(ls::argumentNameKey).toString(),
                            typeName(argument.value(ls::argumentTypeKey).toString())});
    }
}

QString CommandArguments::typeName(const QString& catalogueType)
{
    // Whatever does not convert to an int or a bool goes out as the word typed.
    return catalogueType == tableText::intType || catalogueType == tableText::boolType
               ? catalogueType
               : QStringLiteral("text");
}

bool CommandArguments::convert(const QStringList& words, QVariantList* values,
                               QString* problem) const
{
    values->clear();
    if (words.isEmpty() && m_mayBeLeftOut) {
        return true;
    }
    if (words.size() != m_arguments.size()) {
        *problem = QStringLiteral("expects %1 argument(s), got %2")
                       .arg(m_arguments.size())
                       .arg(words.size());
        return false;
    }
    for (int i = 0; i < words.size(); ++i) {
        const Argument& argument = m_arguments.at(i);
        const std::optional<QVariant> value =
            ArgumentConversion::fromWord(words.at(i), argument.type);
        if (!value) {
            *problem = QStringLiteral("argument %1 (%2) must be %3, not \"%4\"")
                           .arg(i + 1)
                           .arg(argument.name,
                                argument.type == tableText::intType
                                    ? QStringLiteral("a 32-bit integer")
                                    : QStringLiteral("true, false, 1 or 0"),
                                words.at(i));
            return false;
        }
        values->append(*value);
    }
    return true;
}

QString CommandArguments::usage() const
{
    QStringList parts;
    for (const Argument& argument : m_arguments) {
        parts.append(QStringLiteral("<%1:%2>").arg(argument.name, argument.type));
    }
    const QString usage = parts.join(QLatin1Char(' '));
    return m_mayBeLeftOut && !usage.isEmpty() ? QStringLiteral("[%1]").arg(usage) : usage;
}
