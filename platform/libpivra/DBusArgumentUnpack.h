#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

namespace libpivra {

// The same keys, with every bus-marshalled value (QDBusArgument, QDBusVariant) replaced by
// plain Qt values, recursively: dictionaries become QVariantMap, arrays and structures
// QVariantList, variants their content. Other values pass through unchanged.
QMap<QString, QVariant> dbusArgumentUnpack(const QMap<QString, QVariant>& request);

// One value unpacked the same way.
QVariant dbusValueUnpack(const QVariant& value);

} // namespace libpivra
