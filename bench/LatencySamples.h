#pragma once

#include <QVector>

// Round-trip times of one kind of request, in nanoseconds. Percentiles use the nearest-rank
// method, so every reported figure is a time that was actually measured.
class LatencySamples
{
public:
    void add(qint64 nanoseconds) { m_values.append(nanoseconds); }
    int count() const { return m_values.size(); }
    bool isEmpty() const { return m_values.isEmpty(); }

    // 0 when there are no samples.
    qint64 percentile(double percent) const;
    qint64 median() const { return percentile(50.0); }
    // Calls one after the other at the median round trip.
    double callsPerSecond() const;

private:
    QVector<qint64> m_values;
};
