#include "ConfigurationManager.h"

#include "SiblingLink.h"
#include "Siblings.h"

#include <QDBusArgument>

namespace libconfigurationmanager::detail {

namespace {
const QString groupsSignature = QStringLiteral("a(sa{sv})");
} // namespace

ConfigurationManager::ConfigurationManager(QObject* parent)
    : QObject(parent),
      m_link(new SiblingLink(siblings::of(siblings::configurationManager).busName, this))
{
    registerConfigurationList();
    connect(m_link, &SiblingLink::connected, this, &ConfigurationManager::connected);
    connect(m_link, &SiblingLink::disconnected, this, &ConfigurationManager::disconnected);
}

ConfigurationManager::~ConfigurationManager() = default;

void ConfigurationManager::setCheckConnection(bool check)
{
    m_link->setCheckConnection(check);
}

QString ConfigurationManager::lastCallFailure() const
{
    return m_link->lastFailure();
}

QVariantMap ConfigurationManager::getSettings()
{
    return qdbus_cast<QVariantMap>(
        m_link->call(QStringLiteral("getSettings"), QStringLiteral("a{sv}")));
}

ConfigurationList ConfigurationManager::getSettingsGroups()
{
    return qdbus_cast<ConfigurationList>(
        m_link->call(QStringLiteral("getSettingsGroups"), groupsSignature));
}

QVariantMap ConfigurationManager::setSetting(QList<QVariant> args)
{
    return qdbus_cast<QVariantMap>(m_link->call(
        QStringLiteral("setSetting"), QStringLiteral("a{sv}"), args, QStringLiteral("ss")));
}

ConfigurationList ConfigurationManager::getSettingsGroup(QList<QVariant> args)
{
    return qdbus_cast<ConfigurationList>(m_link->call(QStringLiteral("getSettingsGroup"),
                                                      groupsSignature, args, QStringLiteral("s")));
}

void ConfigurationManager::resetSettings()
{
    m_link->call(QStringLiteral("resetSettings"));
}

} // namespace libconfigurationmanager::detail
