#pragma once

#include "ls/IDBusAdaptor.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QVariantMap>

class CommandHandler;

// Puts the command handler on the system bus as com.vellorn.CommandHandler at "/". A device
// command is answered from its sibling's lane once it has run there; everything else at once.
// Lives on the main thread with its handler, and is called there by Qt D-Bus only.
class CommandHandlerAdaptor : public QDBusAbstractAdaptor, public ls::IDBusAdaptor
{
    Q_OBJECT
    Q_INTERFACES(ls::IDBusAdaptor)
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.CommandHandler")
public:
    // How far the registration on the system bus came.
    enum class Registration {
        // No bus, or the object could not be registered there.
        offBus,
        // The bus's policy does not let this process own the name.
        nameRefused,
        // Another process owns the name: this one is reachable by its unique name only.
        nameTaken,
        // This process owns the well-known name, so it is the one serving it.
        ownsName,
    };

    // Registers the handler on the system bus; failures are logged.
    explicit CommandHandlerAdaptor(CommandHandler* handler);

    Registration registration() const { return m_registration; }

public slots:
    QVariantMap process(const QVariantMap& request) override;

signals:
    void notification(const QVariantMap& notification) override;

private:
    static Registration registerName(QDBusConnection& bus);

    CommandHandler* const m_handler;
    Registration m_registration = Registration::offBus;
};
