#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QVector>

class FuzzedDataProvider;

// Decodes fuzzer bytes into a request map. Keys come mostly from the request keys and values
// are often valid command ids, senders and sub-commands, so that inputs get past the checks
// of process into the category handlers; every other kind of value is mixed in as well.
class RequestBuilder
{
public:
    explicit RequestBuilder(FuzzedDataProvider& data);

    // The values of every device command the table can hold.
    static const QVector<int>& commandValues();

    QVariantMap request();
    // Any kind of value: scalars, text, bytes, and lists and maps nested up to a few levels.
    QVariant anyValue(int depth = 0);
    QString text();

private:
    QString key();
    QVariant fieldValue(const QString& key);
    QVariant subCommand();
    QVariant arguments();
    QVariant scalar();
    QVariant container(int depth, bool keyed);
    int knownCommand();
    QString pick(const QStringList& names);

    FuzzedDataProvider& m_data;
    // Bounds the number of values one input may produce, whatever the nesting.
    int m_budget = 256;
};
