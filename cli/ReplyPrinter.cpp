#include "ReplyPrinter.h"

#include "ErrorText.h"
#include "ls/Enums.h"

#include <QJsonDocument>
#include <QStringList>

namespace {

const int indentStep = 2;

bool isMap(const QVariant& value)
{
    return value.userType() == QMetaType::QVariantMap ||
           value.userType() == QMetaType::QVariantHash;
}

bool isList(const QVariant& value)
{
    return value.userType() == QMetaType::QVariantList ||
           value.userType() == QMetaType::QStringList;
}

QString scalarText(const QVariant& value)
{
    if (isMap(value)) {
        return QStringLiteral("{}");
    }
    if (isList(value)) {
        return QStringLiteral("[]");
    }
    if (value.userType() == QMetaType::QString && value.toString().isEmpty()) {
        return QStringLiteral("\"\"");
    }
    if (!value.isValid()) {
        return QStringLiteral("(none)");
    }
    return value.toString();
}

QString pad(int indent)
{
    return QString(indent, QLatin1Char(' '));
}

// resultId and errorId first, the rest in key order.
QStringList orderedKeys(const QVariantMap& reply)
{
    QStringList keys;
    for (const QString& key : {ls::resultIdKey, ls::errorIdKey}) {
        if (reply.contains(key)) {
            keys.append(key);
        }
    }
    const QStringList all = reply.keys();
    for (const QString& key : all) {
        if (!keys.contains(key)) {
            keys.append(key);
        }
    }
    return keys;
}

QString hintFor(const QString& errorId)
{
    if (errorId == ls::ErrorId::InvalidSender) {
        return QStringLiteral("the service does not accept this sender");
    }
    if (errorId == ls::ErrorId::InvalidCmd) {
        return QStringLiteral("the service does not know this command");
    }
    if (errorId == ls::ErrorId::CmdNotFound) {
        return QStringLiteral("the service has no handler for this command's category");
    }
    return QStringLiteral("the service could not carry it out; see its log");
}

} // namespace

void ReplyPrinter::writeReadable(QTextStream& out, const QVariantMap& reply)
{
    const QStringList keys = orderedKeys(reply);
    for (const QString& key : keys) {
        if (key == errorTextKey) {
            continue;
        }
        writeEntry(out, QString(), key + QLatin1Char(':'), reply.value(key), 0);
    }
}

// One line "lead label value", or "lead label" followed by the nested value one step further
// in. The lead is as wide as the indent.
void ReplyPrinter::writeEntry(QTextStream& out, const QString& lead, const QString& label,
                              const QVariant& value, int indent)
{
    if (isMap(value) && !value.toMap().isEmpty()) {
        out << lead << label << '\n';
        writeMapEntries(out, value.toMap(), indent + indentStep);
    } else if (isList(value) && !value.toList().isEmpty()) {
        out << lead << label << '\n';
        const QVariantList items = value.toList();
        for (const QVariant& item : items) {
            writeItem(out, item, indent + indentStep);
        }
    } else {
        out << lead << label << ' ' << scalarText(value) << '\n';
    }
}

// A list item: "- value", or a map whose first entry shares the "- " line.
void ReplyPrinter::writeItem(QTextStream& out, const QVariant& item, int indent)
{
    const QVariantMap map = item.toMap();
    if (!isMap(item) || map.isEmpty()) {
        writeEntry(out, pad(indent), QStringLiteral("-"), item, indent);
        return;
    }
    QString lead = pad(indent) + QStringLiteral("- ");
    for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
        writeEntry(out, lead, entry.key() + QLatin1Char(':'), entry.value(), indent + indentStep);
        lead = pad(indent + indentStep);
    }
}

void ReplyPrinter::writeMapEntries(QTextStream& out, const QVariantMap& map, int indent)
{
    for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
        writeEntry(out, pad(indent), entry.key() + QLatin1Char(':'), entry.value(), indent);
    }
}

void ReplyPrinter::writeJson(QTextStream& out, const QVariant& value)
{
    out << QJsonDocument::fromVariant(value).toJson(QJsonDocument::Indented);
}

bool ReplyPrinter::isSuccess(const QVariantMap& reply)
{
    return reply.value(ls::resultIdKey).toString() == ls::ResultId::Success;
}

QString ReplyPrinter::failureLine(const QVariantMap& reply)
{
    const QString reason = reply.value(errorTextKey).toString();
    if (!reason.isEmpty()) {
        return reason;
    }
    const QString errorId = reply.value(ls::errorIdKey).toString();
    return QStringLiteral("%1: %2: %3")
        .arg(reply.value(ls::resultIdKey).toString(), errorId, hintFor(errorId));
}
