#include "MetaEnum.h"

#include "Keys.h"

namespace ls {

MetaEnum::MetaEnum(std::initializer_list<Entry> entries) : m_entries(entries) {}

EnumValue MetaEnum::value(const EnumKey& key) const
{
    for (const Entry& entry : m_entries) {
        if (entry.key == key) {
            return entry.value;
        }
    }
    return invalidEnumValue;
}

EnumKey MetaEnum::key(EnumValue value) const
{
    for (const Entry& entry : m_entries) {
        if (entry.value == value) {
            return entry.key;
        }
    }
    return undefinedKey;
}

bool MetaEnum::hasKey(const EnumKey& key) const
{
    return value(key) != invalidEnumValue;
}

bool MetaEnum::hasValue(EnumValue value) const
{
    return key(value) != undefinedKey;
}

} // namespace ls
