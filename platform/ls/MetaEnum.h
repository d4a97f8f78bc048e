#pragma once

#include <QString>
#include <QVector>

#include <initializer_list>

namespace ls {

using EnumKey = QString;
using EnumValue = int;

// Name/value table of one enumeration of the service library, in declared order.
class MetaEnum
{
public:
    struct Entry
    {
        EnumKey key;
        EnumValue value;
    };
    using const_iterator = QVector<Entry>::const_iterator;

    MetaEnum(std::initializer_list<Entry> entries);

    // invalidEnumValue when no entry has this name.
    EnumValue value(const EnumKey& key) const;
    // undefinedKey when no entry has this value; the first entry wins when values repeat.
    EnumKey key(EnumValue value) const;
    bool hasKey(const EnumKey& key) const;
    bool hasValue(EnumValue value) const;

    const_iterator begin() const { return m_entries.cbegin(); }
    const_iterator end() const { return m_entries.cend(); }

private:
    QVector<Entry> m_entries;
};

} // namespace ls
