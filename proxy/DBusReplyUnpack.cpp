#include "DBusReplyUnpack.h"

#include <QDBusArgument>
#include <QMultiMap>

namespace detail {

namespace {

bool isDBusArgument(const QVariant& value)
{
    return value.userType() == qMetaTypeId<QDBusArgument>();
}

// Qt D-Bus crashes when it reads a variant where the data holds something else, so a sibling
// reply of another shape is treated as holding nothing.
bool hasSignature(const QDBusArgument& argument, const char* signature)
{
    return argument.currentSignature() == QLatin1String(signature);
}

} // namespace

QVariantList unpackList(const QVariant& value)
{
    if (!isDBusArgument(value)) {
        return value.value<QVariantList>();
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    QVariantList list;
    if (!hasSignature(argument, "av")) {
        return list;
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        QVariant element;
        argument >> element;
        list.append(element);
    }
    argument.endArray();
    return list;
}

QVariantMap unpackMap(const QVariant& value)
{
    if (!isDBusArgument(value)) {
        return value.value<QVariantMap>();
    }
    const QDBusArgument argument = value.value<QDBusArgument>();
    QMultiMap<QString, QVariant> map;
    if (!hasSignature(argument, "a{sv}")) {
        return map;
    }
    argument.beginMap();
    while (!argument.atEnd()) {
        QString key;
        QVariant entry;
        argument.beginMapEntry();
        argument >> key >> entry;
        map.insert(key, entry);
        argument.endMapEntry();
    }
    argument.endMap();
    return map;
}

} // namespace detail
