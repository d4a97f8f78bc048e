#include "StatusNotice.h"

#include "ServiceStatus.h"

#include <QTimer>

#include <systemd/sd-daemon.h>

namespace {
// How often a growing busy time is looked at; the line says whole seconds.
constexpr int followIntervalMs = 5000;
} // namespace

StatusNotice::StatusNotice(QObject* parent)
    : QObject(parent), m_enabled(qEnvironmentVariableIsSet("NOTIFY_SOCKET")),
      m_timer(new QTimer(this))
{
    m_timer->setInterval(followIntervalMs);
}

void StatusNotice::show(const QString& line)
{
    if (!m_enabled || line == m_shown) {
        return;
    }
    m_shown = line;
    sd_notify(0, ("STATUS=" + line.toUtf8()).constData());
}

void StatusNotice::follow(const ServiceStatus& status)
{
    if (!m_enabled) {
        return;
    }
    const auto look = [this, &status] { show(status.summary()); };
    connect(&status, &ServiceStatus::changed, this, look);
    connect(m_timer, &QTimer::timeout, this, look);
    m_timer->start();
    look();
}
