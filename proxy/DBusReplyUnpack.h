#pragma once

#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// Sibling replies may carry nested containers still marshalled as QDBusArgument; these turn one
// level of them into plain Qt containers. Other values go through the ordinary variant
// conversion.
namespace detail {

// A D-Bus array of variants, element by element in array order.
QVariantList unpackList(const QVariant& value);
// A D-Bus dictionary from string to variant; a key repeated on the wire keeps every entry.
QVariantMap unpackMap(const QVariant& value);

} // namespace detail
