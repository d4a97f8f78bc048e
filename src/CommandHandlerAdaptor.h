#pragma once

#include "ls/IDBusAdaptor.h"

#include <QDBusAbstractAdaptor>
#include <QVariantMap>

class CommandHandler;

// Puts the command handler on the system bus as com.vellorn.CommandHandler at "/". A device
// command is answered from its sibling's lane once it has run there; everything else at once.
class CommandHandlerAdaptor : public QDBusAbstractAdaptor, public ls::IDBusAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.CommandHandler")
public:
    // Registers the handler on the system bus; failures are logged and leave the service
    // usable from the console.
    explicit CommandHandlerAdaptor(CommandHandler* handler);

    // The handler is reachable on the system bus (by the connection's unique name at least).
    bool isOnBus() const { return m_onBus; }
    // This process owns the well-known name, so it is the one serving it.
    bool ownsName() const { return m_ownsName; }

    static const QString serviceName;

public slots:
    QVariantMap process(const QVariantMap& request) override;

signals:
    void notification(const QVariantMap& notification) override;

private:
    CommandHandler* const m_handler;
    bool m_onBus = false;
    bool m_ownsName = false;
};
