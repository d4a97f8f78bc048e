#include "LatencySamples.h"

#include <algorithm>
#include <cmath>

qint64 LatencySamples::percentile(double percent) const
{
    if (m_values.isEmpty()) {
        return 0;
    }
    QVector<qint64> sorted = m_values;
    std::sort(sorted.begin(), sorted.end());
    const double clamped = std::clamp(percent, 0.0, 100.0);
    const int rank = static_cast<int>(std::ceil(clamped / 100.0 * sorted.size()));
    return sorted.at(std::max(rank, 1) - 1);
}

double LatencySamples::callsPerSecond() const
{
    const qint64 middle = median();
    return middle > 0 ? 1e9 / static_cast<double>(middle) : 0.0;
}
