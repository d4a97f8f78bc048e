#pragma once

#include "ConfigurationList.h"
#include "SimulatedSibling.h"

#include <QVariantMap>

// The configuration-manager: the device's settings in named groups, all values as text.
class SimulatedConfigurationManager : public SimulatedSibling
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.ConfigurationManager")
public:
    explicit SimulatedConfigurationManager(QObject* parent = nullptr);

public slots:
    // Every setting, keyed "<group>/<name>".
    QVariantMap getSettings();
    ConfigurationList getSettingsGroups();
    // name is "<group>/<name>" or a bare name, which the first group holding it answers to. An
    // unknown setting, like an unknown group below, is refused with a bus error.
    QVariantMap setSetting(const QString& name, const QString& value);
    ConfigurationList getSettingsGroup(const QString& group);
    void resetSettings();
    QVariantMap state();

private:
    static ConfigurationList defaults();
    // The group index and setting name that a name refers to; index -1 when none.
    QPair<int, QString> find(const QString& name) const;

    ConfigurationList m_groups;
};
