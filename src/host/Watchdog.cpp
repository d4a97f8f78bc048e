#include "Watchdog.h"

#include <QTimer>

#include <systemd/sd-daemon.h>

#include <cstdint>

Watchdog::Watchdog(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    uint64_t timeoutUs = 0;
    if (sd_watchdog_enabled(0, &timeoutUs) <= 0 || timeoutUs == 0) {
        return;
    }
    // Fed at half the time-out, as systemd recommends, so one late turn of the loop is no
    // failure.
    m_timer->setInterval(static_cast<int>(qMax<uint64_t>(1, timeoutUs / 2000)));
    connect(m_timer, &QTimer::timeout, this, [] { sd_notify(0, "WATCHDOG=1"); });
    m_timer->start();
}
