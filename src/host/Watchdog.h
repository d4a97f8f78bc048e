#pragma once

#include <QObject>

class QTimer;

// Keeps systemd's watchdog fed from the event loop of the thread it lives in, so that a loop
// that is stuck gets the service restarted. Does nothing unless systemd asked this process for
// it (WatchdogSec= in the unit).
class Watchdog : public QObject
{
    Q_OBJECT
public:
    explicit Watchdog(QObject* parent = nullptr);

private:
    QTimer* m_timer;
};
