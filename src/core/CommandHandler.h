#pragma once

#include "CommandTable.h"
#include "Reply.h"
#include "SiblingCall.h"
#include "ls/Command.h"
#include "ls/IDBusAdaptor.h"
#include "ls/MetaEnum.h"

#include <QDBusContext>
#include <QHash>
#include <QObject>
#include <QPair>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

class Lane;
class SiblingRunner;
struct Sibling;

using EnumKey = ls::EnumKey;
using EnumValue = ls::EnumValue;

// The command gateway: checks a request map against the request's rules and the command table,
// answers the catalogue and every refusal at once, and hands each checked device command to its
// sibling's lane. Lives on the main thread, as do its bus adaptor and its console; its bus
// adaptor reads the bus call it serves through the QDBusContext, which Qt D-Bus sets on the
// adaptor's parent.
class CommandHandler : public QObject, public ls::IDBusAdaptor, public QDBusContext
{
    Q_OBJECT
    Q_INTERFACES(ls::IDBusAdaptor)
public:
    // A request's way on: its reply, or the call its sibling is to carry out.
    using Routing = std::variant<QVariantMap, SiblingCall>;
    using CategoryHandler = Routing (CommandHandler::*)(const ls::Command&) const;
    // Called on the lane's thread with the reply of a device command.
    using Completion = std::function<void(const QVariantMap& reply)>;

    explicit CommandHandler(QObject* parent = nullptr);

    // Loads the command table; a failed load is logged, leaves the table as it was and answers
    // false.
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

    // From here on each sibling's commands run on a lane of their own that holds at most
    // capacity requests; called before any device command has run.
    void startLanes(int capacity);
    // Ends the lanes, waiting for all of them together at most one sibling call time-out.
    void stopLanes();

    // The reply when the request is answered at once: the catalogue, every refusal, and, while
    // no lanes run, a device command too. Nothing when it went to its sibling's lane, where
    // completion is called with the reply once the command has run.
    std::optional<QVariantMap> dispatch(const QVariantMap& request, Completion completion);

public slots:
    // Answers on the caller's thread: for a handler without lanes (tests, tools).
    QVariantMap process(const QVariantMap& request) override;

signals:
    void notification(const QVariantMap& notification) override;

private:
    Routing route(const QVariantMap& request) const;
    static bool asksForReason(const QVariantMap& request);
    // Called on whichever thread sends the reply: a lane's too.
    static QVariantMap outgoing(const QVariantMap& answer, bool reasonAsked);
    QVariantMap runHere(const SiblingCall& call);

    Routing handleGetCommandCategories(const ls::Command& command) const;
    Routing handleGetCommands(const ls::Command& command) const;
    Routing handlePaperFeedCommands(const ls::Command& command) const;
    Routing handleEmbossCommands(const ls::Command& command) const;
    Routing handleTestingCommands(const ls::Command& command) const;
    Routing handleDocumentCommands(const ls::Command& command) const;
    Routing handleConfigurationCommands(const ls::Command& command) const;
    Routing handleIpcCommands(const ls::Command& command) const;

    // The checks every table-driven category shares, then the result type against those the
    // category accepts; the call, or the failure reply after its line.
    Routing checkTableCall(const ls::Command& command, const ls::MetaEnum& commands,
                           const char* prefix, const QStringList& resultTypes) const;
    // Empty when the request's arguments fit the table's count; otherwise why not, after the
    // lines.
    static QString readArguments(const ls::Command& command, const char* prefix, SiblingCall& call,
                                 int argumentCount);
    // Empty when each argument converts to the type the table gives it and all of them fit in
    // one message to the sibling; otherwise why not, after its line.
    static QString checkArgumentValues(const SiblingCall& call, const QStringList& types);

    static const QHash<QString, CategoryHandler> commandHandlers;
    static const QHash<QString, CategoryHandler> categoryHandlers;

    // Never null: an empty table until one is loaded. Replaced whole by a reload, never changed.
    std::shared_ptr<const CommandTable> m_table;
    QHash<const Sibling*, Lane*> m_lanes;
    // Without lanes, device commands run here, on the handler's own thread.
    QHash<const Sibling*, SiblingRunner*> m_localRunners;
};
