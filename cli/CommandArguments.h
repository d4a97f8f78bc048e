#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

// A command's arguments as the catalogue describes them (name and type each), and the typed
// values that words given by the technician make of them.
class CommandArguments
{
public:
    // With mayBeLeftOut, no word at all is as good as a word for each argument (IPCState
    // switches IPC on without its argument).
    explicit CommandArguments(const QVariantList& argumentTypes, bool mayBeLeftOut = false);

    // The catalogue's type as chctl takes it: int, bool, or text for any other (QString).
    static QString typeName(const QString& catalogueType);

    int count() const { return m_arguments.size(); }
    // Each word as the bus type of its argument: int as a 32-bit integer, bool as a boolean,
    // anything else as text. False, with the reason, when the count differs or a word does not
    // convert.
    bool convert(const QStringList& words, QVariantList* values, QString* problem) const;
    // "<lines:int> <text:text>", in brackets when they may be left out; empty without
    // arguments.
    QString usage() const;

private:
    struct Argument {
        QString name;
        QString type;
    };

    QVector<Argument> m_arguments;
    bool m_mayBeLeftOut;
};
