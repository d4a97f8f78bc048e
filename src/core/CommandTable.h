#pragma once

#include "ls/MetaEnum.h"

#include <QHash>
#include <QPair>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QVector>

#include <memory>
#include <optional>

// The command table: what each category and command is called, what it takes, which backend
// method carries it out and with which result, and the catalogue prepared from it. Loaded once
// and read-only from then on, so that any thread may read it; a reload makes a new one.
class CommandTable
{
public:
    // Where the table is read from: the first entry of $STATE_DIRECTORY when set, the device's
    // state directory otherwise. Fixed on first use.
    static QString path();
    struct Loaded {
        // Null, after its error lines, when the file cannot be loaded.
        std::shared_ptr<const CommandTable> table;
        // Then why not, as those lines tell it.
        QString refusal;
    };
    static Loaded load(const QString& path);

    // The table queries; each logs what it cannot find and answers empty or 0.
    int getArgumentCount(const ls::EnumKey& key) const;
    QString getDescription(const ls::EnumKey& key) const;
    QString getArgumentsList(const ls::EnumKey& key) const;
    QPair<QString, QString> getFunctionInfo(const ls::EnumKey& key) const;
    // The types the table gives the command's arguments, in order; empty when it gives none.
    QStringList argumentTypes(const ls::EnumKey& key) const;

    // The catalogue's answers, each within what one reply on the bus carries.
    QVariantList categories() const { return m_categories; }
    QVariantList commandsOf(const QVariant& category) const;
    // Every entry filed under a category, also one left out of the catalogue: it still runs.
    int commandCount() const { return m_commandCount; }
    // The table as the file gives it, entry by entry.
    const QVariantMap& entries() const { return m_entries; }

private:
    // A command as GetCommands lists it.
    struct ListedCommand {
        QVariant category;
        QVariantMap element;
        // Kept so that every listing reports a missing count, as the table query does.
        QVariantMap entryWithoutCount;
        // What the element adds to a reply.
        qint64 size;
    };

    // A catalogue reply's result, error and list key.
    static constexpr qint64 replyFrame = 256;

    void prepareCategories();
    void prepareCommands();
    void copyToCatalogue(QVariantMap& element, const ls::EnumKey& name, const QVariantMap& entry,
                         const QString& field);
    void fitEachReply();
    bool fitsInReply(const QVariantMap& element, qint64 size, qint64& replySize);
    bool mayReportLeftOut();
    static int getArgumentCount(const QVariantMap& entry);
    std::optional<QVariantMap> describedEntry(const ls::EnumKey& key, const char* query) const;

    QVariantMap m_entries;
    QVariantList m_categories;
    QVector<ListedCommand> m_commands;
    // Entries left out of the catalogue while it is prepared; a large table could write a line
    // for each of millions of entries.
    int m_leftOut = 0;
    int m_commandCount = 0;
};
