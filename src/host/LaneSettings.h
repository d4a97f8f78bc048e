#pragma once

#include <QString>

// How many requests each sibling's lane holds and how long a request may wait there, read once
// at start from COMMAND_HANDLER_LANE_CAPACITY and COMMAND_HANDLER_LANE_WAIT_SECONDS. A value is
// taken only when it is a whole number above 0 in plain decimal digits ("010" and "0x5" are not:
// read as C literals they would mean 8 and 5); anything else gets one warning line and the
// default holds. Read on the main thread, before the lanes are built.
class LaneSettings
{
public:
    static constexpr int defaultCapacity = 64;
    // With the one sibling call that may be running when the bound passes (at most the call
    // time-out), every caller hears from the service within 22 s, before a bus client's default
    // 25 s.
    static constexpr int defaultWaitSeconds = 20;
    // What a bus client waits for a reply unless told otherwise (libdbus and Qt alike).
    static constexpr int busDefaultTimeoutSeconds = 25;

    LaneSettings();

    int capacity() const { return m_capacity; }
    int waitSeconds() const { return m_waitSeconds; }

private:
    static int read(const char* variable, int defaultValue);
    void warnAboutLateReplies() const;

    int m_capacity;
    int m_waitSeconds;
};
