#include "SystemCheck.h"

#include "ServiceWatcher.h"
#include "Siblings.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <QtDebug>

#include <cerrno>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

// The readiness directory may appear only after the service has started; it is looked for again
// at least this often.
constexpr int recheckIntervalMs = 1000;

constexpr uint32_t directoryEvents =
    IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

// Every name is asked on every pass, even after a not-ready answer: only one pass in which all
// four answer ready counts, so a sibling that was ready earlier and has gone again holds the
// gate.
QStringList notReady()
{
    QStringList missing;
    for (const Sibling& sibling : siblings::all()) {
        if (!ServiceWatcher::isReady(sibling.readinessName)) {
            missing << sibling.readinessName;
        }
    }
    return missing;
}

void logArrivals(const QStringList& before, const QStringList& after)
{
    for (const QString& service : before) {
        if (!after.contains(service)) {
            qInfo().noquote() << "Sibling service ready:" << service;
        }
    }
    for (const QString& service : after) {
        if (!before.contains(service)) {
            qInfo().noquote() << "Sibling service no longer ready:" << service;
        }
    }
}

} // namespace

SystemCheck::SystemCheck(QObject* parent)
    : QObject(parent), m_inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      m_recheck(new QTimer(this))
{
    if (m_inotify < 0) {
        qWarning() << "Readiness gate: no inotify, checking once a second:"
                   << qt_error_string(errno);
    } else {
        m_notifier = new QSocketNotifier(m_inotify, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SystemCheck::check);
    }
    m_recheck->setInterval(recheckIntervalMs);
    connect(m_recheck, &QTimer::timeout, this, &SystemCheck::check);
}

SystemCheck::~SystemCheck()
{
    if (m_inotify >= 0) {
        ::close(m_inotify);
    }
}

bool SystemCheck::start()
{
    watchDirectory();
    m_missing = notReady();
    if (m_missing.isEmpty()) {
        return true;
    }
    qInfo().noquote() << "Waiting for sibling services:" << m_missing.join(QStringLiteral(", "));
    emit waiting(m_missing);
    m_recheck->start();
    return false;
}

void SystemCheck::check()
{
    if (m_missing.isEmpty()) {
        return;
    }
    char events[4096];
    while (m_inotify >= 0 && ::read(m_inotify, events, sizeof events) > 0) {
    }
    watchDirectory();
    const QStringList stillMissing = notReady();
    logArrivals(m_missing, stillMissing);
    const bool changed = stillMissing != m_missing;
    m_missing = stillMissing;
    if (m_missing.isEmpty()) {
        m_recheck->stop();
        emit siblingsReady();
    } else if (changed) {
        emit waiting(m_missing);
    }
}

// Adding the watch again before every pass follows a directory that was created or replaced
// since the last one; for a directory already watched it only renews the same watch. It comes
// before the pass, so that a file that appears during the pass still wakes the next wait.
void SystemCheck::watchDirectory() const
{
    if (m_inotify >= 0) {
        ::inotify_add_watch(m_inotify, QFile::encodeName(ServiceWatcher::directory()).constData(),
                            directoryEvents);
    }
}
