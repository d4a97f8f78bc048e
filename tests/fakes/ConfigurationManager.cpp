// In-process fake of the configuration-manager client for unit tests (see FakeRecorder.h).
#include "ConfigurationManager.h"

#include "FakeRecorder.h"

namespace libconfigurationmanager::detail {

namespace {
FakeRecorder& recorder()
{
    return FakeRecorder::configurationManager();
}
} // namespace

ConfigurationManager::ConfigurationManager(QObject* parent) : QObject(parent) {}

ConfigurationManager::~ConfigurationManager() = default;

// The fakes are always connected.
void ConfigurationManager::setCheckConnection(bool) {}

// The fakes' calls always complete.
QString ConfigurationManager::lastCallFailure() const
{
    return {};
}

QVariantMap ConfigurationManager::getSettings()
{
    return recorder().record(QStringLiteral("getSettings")).toMap();
}

ConfigurationList ConfigurationManager::getSettingsGroups()
{
    return qvariant_cast<ConfigurationList>(recorder().record(QStringLiteral("getSettingsGroups")));
}

QVariantMap ConfigurationManager::setSetting(QList<QVariant> args)
{
    return recorder().record(QStringLiteral("setSetting"), args).toMap();
}

ConfigurationList ConfigurationManager::getSettingsGroup(QList<QVariant> args)
{
    return qvariant_cast<ConfigurationList>(
        recorder().record(QStringLiteral("getSettingsGroup"), args));
}

void ConfigurationManager::resetSettings()
{
    recorder().record(QStringLiteral("resetSettings"));
}

} // namespace libconfigurationmanager::detail

void registerConfigurationList()
{
    qRegisterMetaType<ConfigurationList>("ConfigurationList");
}
