#include "SimulatedConfigurationManager.h"

#include <QStringList>

SimulatedConfigurationManager::SimulatedConfigurationManager(QObject* parent)
    : SimulatedSibling(siblings::of(siblings::configurationManager), parent), m_groups(defaults())
{
    registerConfigurationList();
}

ConfigurationList SimulatedConfigurationManager::defaults()
{
    return {{QStringLiteral("General"),
             {{QStringLiteral("deviceName"), QStringLiteral("Embosser")},
              {QStringLiteral("language"), QStringLiteral("en")},
              {QStringLiteral("units"), QStringLiteral("mm")}}},
            {QStringLiteral("Embossing"),
             {{QStringLiteral("dotStrength"), QStringLiteral("normal")},
              {QStringLiteral("duplex"), QStringLiteral("true")},
              {QStringLiteral("lineSpacing"), QStringLiteral("1")}}},
            {QStringLiteral("Speech"),
             {{QStringLiteral("rate"), QStringLiteral("50")},
              {QStringLiteral("voice"), QStringLiteral("default")},
              {QStringLiteral("volume"), QStringLiteral("80")}}}};
}

QVariantMap SimulatedConfigurationManager::getSettings()
{
    logCall("getSettings");
    QVariantMap settings;
    for (const auto& group : qAsConst(m_groups)) {
        for (auto entry = group.second.cbegin(); entry != group.second.cend(); ++entry) {
            settings.insert(group.first + QLatin1Char('/') + entry.key(), entry.value());
        }
    }
    return settings;
}

ConfigurationList SimulatedConfigurationManager::getSettingsGroups()
{
    logCall("getSettingsGroups");
    return m_groups;
}

QVariantMap SimulatedConfigurationManager::setSetting(const QString& name, const QString& value)
{
    logCall("setSetting", {name, value});
    const QPair<int, QString> found = find(name);
    if (found.first < 0) {
        refuse(QStringLiteral("unknown setting \"%1\"").arg(name));
        return {};
    }
    auto& group = m_groups[found.first];
    const QString previous = group.second.value(found.second).toString();
    group.second.insert(found.second, value);
    return {{QStringLiteral("group"), group.first},
            {QStringLiteral("name"), found.second},
            {QStringLiteral("value"), value},
            {QStringLiteral("previous"), previous}};
}

ConfigurationList SimulatedConfigurationManager::getSettingsGroup(const QString& group)
{
    logCall("getSettingsGroup", {group});
    ConfigurationList result;
    for (const auto& entry : qAsConst(m_groups)) {
        if (entry.first == group) {
            result.append(entry);
        }
    }
    if (result.isEmpty()) {
        refuse(QStringLiteral("unknown settings group \"%1\"").arg(group));
    }
    return result;
}

void SimulatedConfigurationManager::resetSettings()
{
    logCall("resetSettings");
    m_groups = defaults();
}

QVariantMap SimulatedConfigurationManager::state()
{
    logCall("state");
    QStringList groups;
    QVariantMap settings;
    for (const auto& group : qAsConst(m_groups)) {
        groups.append(group.first);
        for (auto entry = group.second.cbegin(); entry != group.second.cend(); ++entry) {
            settings.insert(group.first + QLatin1Char('/') + entry.key(), entry.value());
        }
    }
    return {{QStringLiteral("groups"), groups}, {QStringLiteral("settings"), settings}};
}

QPair<int, QString> SimulatedConfigurationManager::find(const QString& name) const
{
    const int slash = name.indexOf(QLatin1Char('/'));
    const QString group = slash < 0 ? QString() : name.left(slash);
    const QString key = name.mid(slash + 1);
    for (int i = 0; i < m_groups.size(); ++i) {
        const bool groupMatches = group.isEmpty() || m_groups.at(i).first == group;
        if (groupMatches && m_groups.at(i).second.contains(key)) {
            return {i, key};
        }
    }
    return {-1, QString()};
}
