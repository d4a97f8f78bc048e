#pragma once

#include <QString>
#include <QTextStream>
#include <QVariantMap>

// Lays out the service's status as hostnamectl status does: aligned "Label: value" lines,
// times with their age, and one line per sibling with what its lane does and has done.
class StatusPrinter
{
public:
    // The properties as the service gives them, seen at nowUs (microseconds since the epoch).
    static void write(QTextStream& out, const QVariantMap& properties, quint64 nowUs);

    // "Mon 2026-12-07 15:40:01 UTC; 2h 5min ago", or "never" for 0.
    static QString timeWithAge(quint64 timeUs, quint64 nowUs);
    // "12 s", "4min 10 s", "2h 5min", "3d 2h".
    static QString duration(quint64 us);

private:
    static QString requests(const QVariantMap& properties);
    static QString siblingState(const QVariantMap& sibling, const QVariantMap& lane, quint64 nowUs);
    static QString laneCounts(const QVariantMap& lane);
};
