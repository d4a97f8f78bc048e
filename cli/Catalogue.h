#pragma once

#include "ServiceClient.h"
#include "ls/MetaEnum.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <QVector>

// The service's catalogue seen with the numbers of the shared enumerations: categories and
// commands are named in the catalogue replies and numbered by the enumerations, in the order in
// which the console's menus show them.
class Catalogue
{
public:
    // The entry that --json adds beside a category's or a command's id: what list and run take.
    inline static const QString numberKey = QStringLiteral("number");

    struct Entry {
        int number;
        QString id;
        QString description;
        // Name and type of each argument, the type as chctl takes it: int, bool or text.
        QVariantList argumentTypes;
        // The catalogue's whole entry with those types and the number, as --json shows it.
        QVariantMap fields;
    };

    enum class Lookup { found, missing, noAnswer };
    // Asks the service for the catalogue entry of a command number; *answer holds the reply or
    // the bus error.
    static Lookup findCommand(const ServiceClient& client, int number, Entry* entry,
                              ServiceClient::Answer* answer);

    // The entries of a GetCommandCategories or GetCommands reply that the enumeration numbers,
    // in the enumeration's order.
    static QVector<Entry> entries(const QVariantMap& reply, const QString& listKey,
                                  const ls::MetaEnum& enumeration);
    static const Entry* find(const QVector<Entry>& entries, int number);
    // The reply with the list under listKey made of the entries' fields, in their order.
    static QVariantMap withEntries(const QVariantMap& reply, const QString& listKey,
                                   const QVector<Entry>& entries);

    // Empty when the number names no category or no command.
    static QString categoryName(int number);
    static QString commandName(int number);
    // Whether the command may be run without its arguments: IPCState switches IPC on then.
    static bool mayLeaveArgumentsOut(int number);
    // The category whose enumeration holds the command's number; empty when none does.
    static QString categoryOfCommand(int number);
    static const ls::MetaEnum& commandsOf(const QString& category);
    // A category given as its number, its name or its word, in any letter case; empty when it
    // is none of them.
    static QString resolveCategory(const QString& text);
    // The categories whose description in the catalogue holds the word, in any letter case:
    // "speech" finds the one of the speech commands, which its name does not tell.
    static QStringList describedBy(const QVector<Entry>& categories, const QString& word);
    // A command given as its number or its name ("FeedLines"), in any letter case; false when
    // it is neither. A number is taken as it is, whether or not it names a command.
    static bool commandNumber(const QString& text, int* number);
    // The category's name without "CommandId", in small letters: "paperfeed".
    static QString categoryWord(const QString& category);
};
