#include "CommandArguments.h"

#include "ls/Keys.h"

#include <QVariantMap>

namespace {
const QString intType = QStringLiteral("int");
const QString boolType = QStringLiteral("bool");
} // namespace

CommandArguments::CommandArguments(const QVariantList& argumentTypes, bool mayBeLeftOut)
    : m_mayBeLeftOut(mayBeLeftOut)
{
    for (const QVariant& element : argumentTypes) {
        const QVariantMap argument = element.toMap();
        m_arguments.append({argument.value(ls::argumentNameKey).toString(),
                            argument.value(ls::argumentTypeKey).toString()});
    }
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
        QVariant value;
        if (!convertOne(m_arguments.at(i), words.at(i), &value)) {
            *problem =
                QStringLiteral("argument %1 (%2) must be %3, not \"%4\"")
                    .arg(i + 1)
                    .arg(m_arguments.at(i).name,
                         m_arguments.at(i).type == intType ? QStringLiteral("a 32-bit integer")
                                                           : QStringLiteral("true, false, 1 or 0"),
                         words.at(i));
            return false;
        }
        values->append(value);
    }
    return true;
}

bool CommandArguments::convertOne(const Argument& argument, const QString& word, QVariant* value)
{
    if (argument.type == intType) {
        bool ok = false;
        const int number = word.toInt(&ok, 10);
        *value = number;
        return ok;
    }
    if (argument.type == boolType) {
        const QString text = word.toLower();
        *value = text == QLatin1String("true") || text == QLatin1String("1");
        return value->toBool() || text == QLatin1String("false") || text == QLatin1String("0");
    }
    *value = word;
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

QString CommandArguments::consoleList() const
{
    if (m_arguments.isEmpty()) {
        return {};
    }
    QStringList parts;
    for (const Argument& argument : m_arguments) {
        parts.append(QStringLiteral("%1: %2").arg(argument.name, argument.type));
    }
    return QStringLiteral("( %1 )").arg(parts.join(QStringLiteral(", ")));
}
