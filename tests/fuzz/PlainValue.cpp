#include "PlainValue.h"

#include <QVariantList>
#include <QVariantMap>

#include <cstring>

namespace fuzz {
namespace {

bool isList(const QVariant& value)
{
    return value.userType() == QMetaType::QVariantList ||
           value.userType() == QMetaType::QStringList;
}

// The bus carries a double's eight bytes as they are, NaN payloads and the zero's sign included.
bool sameBits(double actual, double expected)
{
    return std::memcmp(&actual, &expected, sizeof(double)) == 0;
}

bool sameMap(const QVariantMap& actual, const QVariantMap& expected)
{
    if (actual.keys() != expected.keys()) {
        return false;
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!samePlainValue(actual.value(it.key()), it.value())) {
            return false;
        }
    }
    return true;
}

bool sameList(const QVariantList& actual, const QVariantList& expected)
{
    if (actual.size() != expected.size()) {
        return false;
    }
    for (int i = 0; i < expected.size(); ++i) {
        if (!samePlainValue(actual.at(i), expected.at(i))) {
            return false;
        }
    }
    return true;
}

} // namespace

bool samePlainValue(const QVariant& actual, const QVariant& expected)
{
    if (isList(expected)) {
        return isList(actual) && sameList(actual.toList(), expected.toList());
    }
    if (actual.userType() != expected.userType()) {
        return false;
    }
    switch (expected.userType()) {
    case QMetaType::QVariantMap:
        return sameMap(actual.toMap(), expected.toMap());
    case QMetaType::Double:
        return sameBits(actual.toDouble(), expected.toDouble());
    default:
        return actual == expected;
    }
}

} // namespace fuzz
