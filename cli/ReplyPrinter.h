#pragma once

#include <QString>
#include <QTextStream>
#include <QVariantMap>

// Writes a reply map for a person (indented "key: value" lines, whatever the reply holds) or
// for a script (JSON), and explains a failure in one line.
class ReplyPrinter
{
public:
    // Without the reason of a failure, which failureLine() tells.
    static void writeReadable(QTextStream& out, const QVariantMap& reply);
    static void writeJson(QTextStream& out, const QVariant& value);
    static bool isSuccess(const QVariantMap& reply);
    // The service's reason ("ImportSettings (105): not implemented"); from a service that gives
    // none, "Failure: InvalidCmd: <what it means>".
    static QString failureLine(const QVariantMap& reply);

private:
    static void writeEntry(QTextStream& out, const QString& lead, const QString& label,
                           const QVariant& value, int indent);
    static void writeItem(QTextStream& out, const QVariant& item, int indent);
    static void writeMapEntries(QTextStream& out, const QVariantMap& map, int indent);
};
