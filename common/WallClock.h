#pragma once

#include <QDateTime>

// The wall clock as systemd's timestamps give it: microseconds since the epoch. For what is
// shown to people; durations are measured with the monotonic clock.
inline quint64 wallClockUs()
{
    return quint64(QDateTime::currentMSecsSinceEpoch()) * 1000;
}
