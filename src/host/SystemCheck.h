#pragma once

#include <QObject>
#include <QStringList>

class QSocketNotifier;
class QTimer;

// The start-up gate: tells once print-manager, configuration-manager, document-manager and
// speechd have all reported themselves ready. Between checks it sleeps on the readiness
// directory (inotify), looking again at least once a second in case the directory appears late,
// and logs which siblings it waits for and when each arrives. Runs on the event loop of the
// thread it lives on, the main thread: a stop signal meanwhile is handled at once.
class SystemCheck : public QObject
{
    Q_OBJECT
public:
    explicit SystemCheck(QObject* parent = nullptr);
    ~SystemCheck() override;

    // True when every sibling is ready already; otherwise siblingsReady comes once they are.
    bool start();

signals:
    void siblingsReady();
    // The readiness names of the siblings still waited for, each time they change.
    void waiting(const QStringList& readinessNames);

private:
    void check();
    void watchDirectory() const;

    int m_inotify = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_recheck;
    QStringList m_missing;
};
