#include "ConfigurationManagerProxy.h"

#include "ConfigurationList.h"
#include "ConfigurationManager.h"
#include "Invocation.h"

#include <QLoggingCategory>
#include <QtDebug>

namespace detail {

namespace {

const QLoggingCategory configurationManagerCategory("ConfigurationManager", QtCriticalMsg);

using Client = libconfigurationmanager::detail::ConfigurationManager;

// The meta-object system matches the declared result type by this name.
const char* const configurationListName = "ConfigurationList";

void logSettings(const QVariantMap& settings)
{
    for (auto it = settings.cbegin(); it != settings.cend(); ++it) {
        qDebug().noquote() << it.key() << ":" << it.value().toString();
    }
}

QVariantMap collectGroups(const ConfigurationList& groups)
{
    QVariantMap result;
    for (const auto& group : groups) {
        qDebug().noquote() << "\033[1;4m" << group.first << "\n\033[0m";
        result.insert(group.first, group.second);
        logSettings(group.second);
        qDebug().noquote() << "\n";
    }
    return result;
}

} // namespace

ConfigurationManagerProxy::ConfigurationManagerProxy(QObject* parent)
    : QObject(parent), m_client(new Client(this))
{
    Client* configurationManager = m_client;
    configurationManager->setCheckConnection(false);
    connect(
        configurationManager, &Client::connected, configurationManager,
        [this] {
            qCDebug(configurationManagerCategory) << "Connected to configuration-manager.";
            emit connected();
        },
        Qt::DirectConnection);
    connect(
        configurationManager, &Client::disconnected, configurationManager,
        [] { qCDebug(configurationManagerCategory) << "Disconnected from configuration-manager."; },
        Qt::DirectConnection);
}

bool ConfigurationManagerProxy::offers(const QString& name)
{
    return declaresOperation(Client::staticMetaObject, name.toLocal8Bit());
}

void ConfigurationManagerProxy::configurationCmd(const QString& name, CallOutcome* outcome) const
{
    invokeOperation(m_client, name, outcome, Qt::DirectConnection);
}

const QVariantMap ConfigurationManagerProxy::configurationMapCmd(const QString& name,
                                                                 CallOutcome* outcome) const
{
    QVariantMap result;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection,
                    Q_RETURN_ARG(QVariantMap, result));
    logSettings(result);
    return result;
}

const QVariantMap ConfigurationManagerProxy::configurationMapCmd(const QString& name,
                                                                 const QList<QVariant>& args,
                                                                 CallOutcome* outcome) const
{
    QVariantMap result;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection,
                    Q_RETURN_ARG(QVariantMap, result), Q_ARG(QList<QVariant>, args));
    logSettings(result);
    return result;
}

const QVariantMap ConfigurationManagerProxy::configurationListCmd(const QString& name,
                                                                  CallOutcome* outcome) const
{
    ConfigurationList groups;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection,
                    QReturnArgument<ConfigurationList>(configurationListName, groups));
    return collectGroups(groups);
}

const QVariantMap ConfigurationManagerProxy::configurationListCmd(const QString& name,
                                                                  const QList<QVariant>& args,
                                                                  CallOutcome* outcome) const
{
    ConfigurationList groups;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection,
                    QReturnArgument<ConfigurationList>(configurationListName, groups),
                    Q_ARG(QList<QVariant>, args));
    return collectGroups(groups);
}

} // namespace detail
