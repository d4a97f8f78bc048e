#include "SystemCheck.h"

#include "ServiceWatcher.h"
#include "Siblings.h"

#include <QFile>
#include <QStringList>
#include <QtDebug>

#include <cerrno>

#include <poll.h>
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
QStringList notReady(const QStringList& services)
{
    QStringList missing;
    for (const QString& service : services) {
        if (!ServiceWatcher::isReady(service)) {
            missing << service;
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

// Adding the watch again before every pass follows a directory that was created or replaced
// since the last one; for a directory already watched it only renews the same watch. It comes
// before the pass, so that a file that appears during the pass still wakes the next wait.
void watchDirectory(int inotify)
{
    if (inotify >= 0) {
        ::inotify_add_watch(inotify, QFile::encodeName(ServiceWatcher::directory()).constData(),
                            directoryEvents);
    }
}

// Sleeps until something changes in the readiness directory or the re-check interval has
// passed.
void waitForChange(int inotify)
{
    pollfd watched = {inotify, POLLIN, 0};
    if (::poll(&watched, 1, recheckIntervalMs) > 0) {
        char events[4096];
        while (::read(inotify, events, sizeof events) > 0) {
        }
    }
}

} // namespace

void SystemCheck::run()
{
    QStringList services;
    for (const Sibling& sibling : siblings::all()) {
        services << sibling.readinessName;
    }
    const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify < 0) {
        qWarning() << "Readiness gate: no inotify, checking once a second:"
                   << qt_error_string(errno);
    }
    watchDirectory(inotify);
    QStringList missing = notReady(services);
    if (!missing.isEmpty()) {
        qInfo().noquote() << "Waiting for sibling services:" << missing.join(QStringLiteral(", "));
    }
    while (!missing.isEmpty() && !isInterruptionRequested()) {
        waitForChange(inotify);
        watchDirectory(inotify);
        const QStringList stillMissing = notReady(services);
        logArrivals(missing, stillMissing);
        missing = stillMissing;
    }
    if (inotify >= 0) {
        ::close(inotify);
    }
}
