#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

// What one reply on the bus can carry. The bus refuses a message nested deeper than its limit or
// larger than its largest message and drops the connection that sent it; far beyond the limit,
// marshalling aborts the process. So the service measures what it is about to send.
class BusLimits
{
public:
    // Containers (arrays, dictionary entries, structures, variants) around the deepest value,
    // counted from the reply's own dictionary.
    static constexpr int maximumDepth = 64;
    // The bus's largest message, less room for the reply's header.
    static constexpr qint64 maximumBodySize = 32 * 1024 * 1024 - 4096;

    // Why the map cannot travel as a reply's one argument; empty when it can. Unix file
    // descriptors count as not carried: they are not passed on to whoever asked.
    static QString problem(const QVariantMap& reply);
    // The bytes the value takes as an element of a list of variants, padding included.
    static qint64 elementSize(const QVariant& value);
};
