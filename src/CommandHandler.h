#pragma once

#include "Invocation.h"
#include "ls/Command.h"
#include "ls/IDBusAdaptor.h"
#include "ls/MetaEnum.h"

#include <QDBusContext>
#include <QHash>
#include <QObject>
#include <QPair>
#include <QVariantMap>
#include <QVector>

#include <optional>

class Lane;

using EnumKey = ls::EnumKey;
using EnumValue = ls::EnumValue;

// The command gateway: validates a request map, dispatches it to the handler of its command or
// category and answers with a reply map. Owns the command table. Its bus adaptor reads the bus
// call it serves through the QDBusContext, which Qt D-Bus sets on the adaptor's parent.
class CommandHandler : public QObject, public ls::IDBusAdaptor, public QDBusContext
{
    Q_OBJECT
    Q_INTERFACES(ls::IDBusAdaptor)
public:
    using CategoryHandler = QVariantMap (CommandHandler::*)(const ls::Command&) const;

    explicit CommandHandler(QObject* parent = nullptr);

    // Loads the command table; a failed read is logged, leaves the table as it was and answers
    // false.
    bool initialize();
    // Loads the table again, for the requests that come afterwards, here and on the lanes;
    // commands already running finish with the old one, which also stays when the new one
    // cannot be loaded.
    void reload();
    // Where the command table is read from: the first entry of $STATE_DIRECTORY when set,
    // the device's state directory otherwise. Fixed on first use.
    static QString commandTablePath();

    int getArgumentCount(const EnumKey& key) const;
    const QString getDescription(const EnumKey& key) const;
    const QString getArgumentsList(const EnumKey& key) const;
    const QPair<const QString, const QString> getFunctionInfo(const EnumKey& key) const;

    const EnumKey getCategory(const EnumValue& value) const;
    bool isValidSubCommand(const EnumValue& value) const;

    static QVariantMap makeReply(const QString& resultId, const QString& errorId);

    // For a handler that runs on a lane: another handler's loaded command table, shared and
    // read-only.
    void shareTableOf(const CommandHandler& source);
    // The same for a handler that already runs on its lane: handed over with a queued call, so
    // that the requests already waiting there run with the table they came to.
    void shareTableWith(CommandHandler* laneHandler) const;
    // From here on each sibling's commands run on a lane of their own that holds at most
    // capacity requests. Without lanes every request runs on the caller's thread.
    void startLanes(int capacity);
    // Ends the lanes, waiting for all of them together at most one sibling call time-out.
    void stopLanes();
    // The lane that runs the request, or null when process answers it at once: the catalogue,
    // every request that process rejects before a handler sees it, and all while no lanes run.
    Lane* laneFor(const QVariantMap& request) const;

public slots:
    QVariantMap process(const QVariantMap& request) override;

signals:
    void notification(const QVariantMap& notification) override;

private:
    QVariantMap handleGetCommandCategories(const ls::Command& command) const;
    QVariantMap handleGetCommands(const ls::Command& command) const;
    QVariantMap handlePaperFeedCommands(const ls::Command& command) const;
    QVariantMap handleEmbossCommands(const ls::Command& command) const;
    QVariantMap handleTestingCommands(const ls::Command& command) const;
    QVariantMap handleDocumentCommands(const ls::Command& command) const;
    QVariantMap handleConfigurationCommands(const ls::Command& command) const;
    QVariantMap handleIpcCommands(const ls::Command& command) const;

    // What the command table says about a device command, checked against its request.
    struct TableCall;
    // The checks every table-driven category shares; the category's proxy when they pass,
    // null after the failure has been logged with the handler's prefix.
    template <typename Proxy>
    const Proxy* prepareTableCall(const ls::Command& command, const ls::MetaEnum& commands,
                                  const char* prefix, TableCall& call) const;
    static bool readArguments(const ls::Command& command, const char* prefix, TableCall& call);
    // The categories whose commands all run without a result (emboss, testing).
    template <typename Proxy>
    QVariantMap handleVoidCommands(const ls::Command& command, const ls::MetaEnum& commands,
                                   const char* prefix,
                                   void (Proxy::*plain)(const QString&, detail::CallOutcome*) const,
                                   void (Proxy::*withArgs)(const QString&, const QList<QVariant>&,
                                                           detail::CallOutcome*) const) const;
    // The IPC commands' arguments; nothing when the request's arguments do not say it exactly.
    static std::optional<bool> ipcState(const ls::Command& command);
    std::optional<int> testParameter(const ls::Command& command, const EnumKey& entry) const;

    static const QHash<QString, CategoryHandler> commandHandlers;
    static const QHash<QString, CategoryHandler> categoryHandlers;

    // The catalogue's answers are prepared from the table when it is loaded: the table does not
    // change afterwards, and walking every entry of a large table on each request costs a cache
    // miss or more per entry.
    QVariantList listCategories();
    // A command as GetCommands lists it.
    struct ListedCommand {
        QVariant category;
        QVariantMap element;
        QVariantMap entryWithoutCount;
    };
    void prepareCommands();
    // What the bus cannot carry in a catalogue reply is left out of it, with one error line.
    void copyToCatalogue(QVariantMap& element, const EnumKey& name, const QVariantMap& entry,
                         const QString& field);
    void fitCatalogueInOneReply();
    bool fitsInOneReply(const QVariantMap& element, qint64& listSize);
    // A large table could write a line for each of millions of entries: at most this many are
    // written, then one line with the count of the rest.
    static constexpr int maximumLeftOutLines = 100;
    bool mayReportLeftOut();
    // The table query for an entry already in hand, with the same error line.
    int getArgumentCount(const QVariantMap& entry) const;

    QVariantMap m_table;
    QVariantList m_categories;
    QVector<ListedCommand> m_commands;
    // Entries left out of the catalogue in the last load.
    int m_leftOutOfCatalogue = 0;
    // Keyed by category; the same lane carries all categories of one sibling.
    QHash<QString, Lane*> m_lanes;
};
