#pragma once

#include <QVariant>

namespace fuzz {

// Whether an unpacked value is exactly the plain value expected: maps and lists compared
// entry by entry (a QStringList counts as a list of strings), scalars by type and value,
// doubles bit for bit. A QDBusArgument or QDBusVariant left anywhere never matches.
bool samePlainValue(const QVariant& actual, const QVariant& expected);

} // namespace fuzz
