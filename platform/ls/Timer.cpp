#include "Timer.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(timerCategory, "Timer", QtCriticalMsg)

// Timers run on the main thread only, like everything that labels spans.
QHash<QString, QElapsedTimer>& runningTimers()
{
    static QHash<QString, QElapsedTimer> timers;
    return timers;
}
} // namespace

namespace ls {

void Timer::start(const QString& label)
{
    runningTimers()[label].start();
}

void Timer::finish(const QString& label)
{
    const auto timer = runningTimers().constFind(label);
    if (timer == runningTimers().constEnd()) {
        return;
    }
    qCDebug(timerCategory).noquote() << label << "took" << timer->nsecsElapsed() / 1000 << "us";
    runningTimers().erase(timer);
}

} // namespace ls
