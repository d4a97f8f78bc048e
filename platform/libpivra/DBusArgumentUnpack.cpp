#include "DBusArgumentUnpack.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>

namespace libpivra {
namespace {

QVariant unpackArgument(const QDBusArgument& argument);

QVariantList unpackSequence(const QDBusArgument& argument)
{
    QVariantList list;
    // asVariant() always consumes one element; a demarshalling error would leave the
    // cursor where it is, so stop at an unknown element rather than spin.
    while (!argument.atEnd() && argument.currentType() != QDBusArgument::UnknownType) {
        list.append(dbusValueUnpack(argument.asVariant()));
    }
    return list;
}

QVariant unpackMap(const QDBusArgument& argument)
{
    QVariantMap map;
    argument.beginMap();
    while (!argument.atEnd() && argument.currentType() != QDBusArgument::UnknownType) {
        argument.beginMapEntry();
        const QVariant key = dbusValueUnpack(argument.asVariant());
        const QVariant value = dbusValueUnpack(argument.asVariant());
        argument.endMapEntry();
        map.insert(key.toString(), value);
    }
    argument.endMap();
    return map;
}

QVariant unpackArgument(const QDBusArgument& argument)
{
    switch (argument.currentType()) {
    case QDBusArgument::MapType:
        return unpackMap(argument);
    case QDBusArgument::ArrayType: {
        if (argument.currentSignature() == QLatin1String("ay")) {
            return argument.asVariant();
        }
        argument.beginArray();
        const QVariantList list = unpackSequence(argument);
        argument.endArray();
        return list;
    }
    case QDBusArgument::StructureType: {
        argument.beginStructure();
        const QVariantList list = unpackSequence(argument);
        argument.endStructure();
        return list;
    }
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return dbusValueUnpack(argument.asVariant());
    case QDBusArgument::MapEntryType:
    case QDBusArgument::UnknownType:
        break;
    }
    return {};
}

} // namespace

QVariant dbusValueUnpack(const QVariant& value)
{
    const int type = value.userType();
    if (type == qMetaTypeId<QDBusArgument>()) {
        return unpackArgument(value.value<QDBusArgument>());
    }
    if (type == qMetaTypeId<QDBusVariant>()) {
        return dbusValueUnpack(value.value<QDBusVariant>().variant());
    }
    if (type == qMetaTypeId<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    if (type == qMetaTypeId<QDBusSignature>()) {
        return value.value<QDBusSignature>().signature();
    }
    if (type == QMetaType::QVariantMap) {
        return dbusArgumentUnpack(value.toMap());
    }
    if (type == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant& element : list) {
            element = dbusValueUnpack(element);
        }
        return list;
    }
    return value;
}

QMap<QString, QVariant> dbusArgumentUnpack(const QMap<QString, QVariant>& request)
{
    QMap<QString, QVariant> unpacked;
    // Qt demarshals a dictionary whose key repeats on the wire into a multi-map that iterates
    // equal keys newest first: the entry sent last is kept, which is what value() answers and
    // what nested dictionaries keep.
    for (auto it = request.cbegin(); it != request.cend(); ++it) {
        if (!unpacked.contains(it.key())) {
            unpacked.insert(it.key(), dbusValueUnpack(it.value()));
        }
    }
    return unpacked;
}

} // namespace libpivra
