#pragma once

#include <QObject>
#include <QString>

class QTimer;
class ServiceStatus;

// The unit's status line for systemd (STATUS=, the "Status:" of systemctl status): which
// siblings the start waits for, then what the service serves and which sibling holds it up.
// Sent only when the line changes, never for a command; nothing at all unless systemd asked
// this process for notifications. Lives on the main thread.
class StatusNotice : public QObject
{
    Q_OBJECT
public:
    explicit StatusNotice(QObject* parent = nullptr);

    // Sent when it differs from the line shown.
    void show(const QString& line);
    // From now on the line is the status's summary, looked at when the status announces a change
    // and every few seconds, as a sibling's busy time grows. The status outlives the notice.
    void follow(const ServiceStatus& status);

private:
    const bool m_enabled;
    QString m_shown;
    QTimer* m_timer;
};
