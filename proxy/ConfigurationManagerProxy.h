#pragma once

#include "Invocation.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace libconfigurationmanager::detail {
class ConfigurationManager;
}

namespace detail {

// The service's road to configuration-manager: calls its client's methods by the names the
// command table gives. Operations that take `outcome` report there whether the client had the
// method and whether the sibling call completed.
class ConfigurationManagerProxy : public QObject
{
    Q_OBJECT
public:
    explicit ConfigurationManagerProxy(QObject* parent = nullptr);

    // Whether the client has an operation of that name to call, as a call by name decides it.
    static bool offers(const QString& name);

    void configurationCmd(const QString& name, CallOutcome* outcome = nullptr) const;
    const QVariantMap configurationMapCmd(const QString& name,
                                          CallOutcome* outcome = nullptr) const;
    const QVariantMap configurationMapCmd(const QString& name, const QList<QVariant>& args,
                                          CallOutcome* outcome = nullptr) const;
    // Group name to the group's settings; a later group of the same name wins.
    const QVariantMap configurationListCmd(const QString& name,
                                           CallOutcome* outcome = nullptr) const;
    const QVariantMap configurationListCmd(const QString& name, const QList<QVariant>& args,
                                           CallOutcome* outcome = nullptr) const;

signals:
    void connected();

private:
    // Created with the proxy, on its thread, and used there only.
    libconfigurationmanager::detail::ConfigurationManager* m_client;
};

} // namespace detail
