#pragma once

#include "CallCarrier.h"
#include "CommandTable.h"
#include "Reply.h"
#include "SiblingCall.h"
#include "ls/Command.h"
#include "ls/IDBusAdaptor.h"
#include "ls/MetaEnum.h"

#include <QDBusContext>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

struct Category;

using EnumKey = ls::EnumKey;
using EnumValue = ls::EnumValue;

// The command gateway: checks a request map against the request's rules and the command table,
// answers the catalogue and every refusal at once, and hands each checked device command to its
// carrier. Lives on the main thread, as do its bus adaptor and its console; its bus
// adaptor reads the bus call it serves through the QDBusContext, which Qt D-Bus sets on the
// adaptor's parent.
class CommandHandler : public QObject, public ls::IDBusAdaptor, public QDBusContext
{
    Q_OBJECT
    Q_INTERFACES(ls::IDBusAdaptor)
public:
    // A request's way on: its reply, or the call its sibling is to carry out.
    using Routing = std::variant<QVariantMap, SiblingCall>;
    using CatalogueHandler = Routing (CommandHandler::*)(const ls::Command&) const;
    // Called with the reply of a device command, on the thread where it ran.
    using Completion = CallCarrier::Completion;

    // The carrier outlives the handler.
    explicit CommandHandler(CallCarrier& carrier, QObject* parent = nullptr);

    // How loading a command table went.
    struct TableLoad {
        bool loaded = false;
        int commands = 0;
        // Entries that cannot work and commands the table lacks; each had its warning line.
        int problems = 0;
        // Why a table that cannot be loaded was refused.
        QString refusal;
    };
    // The requests answered without a sibling: the catalogue, and those refused by their
    // checks by errorId. Device commands are counted on their lanes.
    struct Tally {
        quint64 answered = 0;
        QMap<QString, quint64> refused;
    };

    // Loads the command table and checks each entry, with a warning line for each that cannot
    // work; a table that cannot be loaded is logged and leaves the one in use as it was.
    TableLoad load(const QString& path);
    // Loads the table from its place, with one line of what it holds; false when it cannot be
    // loaded.
    bool initialize();
    // Loads the table again for the requests that come afterwards; the old one stays, with one
    // line more, when the new one cannot be loaded.
    void reload();
    static QString commandTablePath() { return CommandTable::path(); }

    int getArgumentCount(const EnumKey& key) const { return m_table->getArgumentCount(key); }
    QString getDescription(const EnumKey& key) const { return m_table->getDescription(key); }
    QString getArgumentsList(const EnumKey& key) const { return m_table->getArgumentsList(key); }
    QPair<QString, QString> getFunctionInfo(const EnumKey& key) const
    {
        return m_table->getFunctionInfo(key);
    }

    const EnumKey getCategory(const EnumValue& value) const;
    bool isValidSubCommand(const EnumValue& value) const;

    static QVariantMap makeReply(const QString& resultId, const QString& errorId)
    {
        return reply::make(resultId, errorId);
    }

    // The reply when the request is answered at once: the catalogue, every refusal, and a
    // device command that its carrier answered at once. Nothing when the carrier took it; then
    // completion is called with the reply once the command has run.
    std::optional<QVariantMap> submit(const QVariantMap& request, Completion completion);

    const Tally& tally() const { return m_tally; }

public slots:
    // The reply, waiting for a device command to run however its carrier runs it.
    QVariantMap process(const QVariantMap& request) override;

signals:
    void notification(const QVariantMap& notification) override;
    // A table was loaded and is in use from now on.
    void tableLoaded(const QString& path, int commands);
    // A table could not be loaded; the one in use stays.
    void tableRefused(const QString& path, const QString& refusal);

private:
    Routing route(const QVariantMap& request) const;
    static bool asksForReason(const QVariantMap& request);
    void count(const QVariantMap& immediate);
    // Called on whichever thread sends the reply: a lane's too.
    static QVariantMap outgoing(const QVariantMap& answer, bool reasonAsked);

    Routing handleGetCommandCategories(const ls::Command& command) const;
    Routing handleGetCommands(const ls::Command& command) const;

    // The lines of a category's checks name the handler method each category once had:
    // "CommandHandler::handlePaperFeedCommands".
    static QString checksOrigin(const Category& category);
    // The checks every table-driven category shares, then the result type against those the
    // category accepts; the call, or the failure reply after its line.
    Routing checkTableCall(const ls::Command& command, const Category& category) const;
    // IPC commands are two fixed operations of their sibling's client, not table methods.
    Routing checkIpcCall(const ls::Command& command, const Category& category) const;
    // Empty when the request's arguments fit the table's count; otherwise why not, after the
    // lines.
    static QString readArguments(const ls::Command& command, SiblingCall& call, int argumentCount);
    // Empty when each argument converts to the type the table gives it and all of them fit in
    // one message to the sibling; otherwise why not, after its line.
    static QString checkArgumentValues(const SiblingCall& call, const QStringList& types);

    static const QHash<QString, CatalogueHandler> catalogueHandlers;

    // Never null: an empty table until one is loaded. Replaced whole by a reload, never changed.
    std::shared_ptr<const CommandTable> m_table;
    CallCarrier& m_carrier;
    Tally m_tally;
};
