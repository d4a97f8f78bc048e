#pragma once

#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QVariantMap>

// Grouped settings as the configuration-manager answers them: (group name, settings) pairs in
// the sibling's order. Registered with the meta-type system under the name "ConfigurationList".
using ConfigurationList = QList<QPair<QString, QVariantMap>>;
Q_DECLARE_METATYPE(ConfigurationList)

// Registers ConfigurationList under its name (and its bus marshalling); safe to call often.
void registerConfigurationList();
