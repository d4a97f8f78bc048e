#include "Lane.h"

#include "Category.h"
#include "ErrorLine.h"
#include "Reply.h"
#include "SiblingLink.h"
#include "SiblingRunner.h"
#include "Siblings.h"
#include "WallClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <QtDebug>

#include <deque>
#include <mutex>

const int Lane::stopTimeoutMs = SiblingLink::callTimeoutMs + 500;

// A call is handed over under the mutex, not inside Qt's event: the wake-up that Qt queues to the
// lane's thread carries nothing, so every object that crosses threads is guarded by one lock.
struct Lane::Queue {
    struct Waiting {
        SiblingCall call;
        Completion completion;
        // Monotonic, so that a change of the wall clock neither drops nor keeps a call.
        QElapsedTimer since;
    };

    std::mutex mutex;
    std::deque<Waiting> waiting;
    // Waiting and running.
    int held = 0;
    bool stopping = false;
    // Its running, waiting and held counts are kept by the fields above and the queue.
    Status status;
    const int waitBoundSeconds;
    // Made and used on the lane's thread only.
    Runner runner;

    explicit Queue(int bound) : waitBoundSeconds(bound) {}
};

namespace {
// One waiting call to run.
const auto wakeEvent = QEvent::Type(QEvent::User + 1);
// The end of the lane, once the calls queued before it have been answered.
const auto endEvent = QEvent::Type(QEvent::User + 2);
} // namespace

// Lives on the lane's thread. The events that wake it are made before the queue's lock is taken
// to hand a call over, so that the lock also orders the event's making before its deletion on
// this thread.
class Lane::Context : public QObject
{
public:
    Context(std::shared_ptr<Queue> queue, RunnerFactory make)
        : m_queue(std::move(queue)), m_make(std::move(make))
    {
    }

    bool event(QEvent* event) override
    {
        // Taken before the event is read: the lock orders its making on the main thread before
        // its use here, which Qt's own event queue does too, but out of sight of the tools that
        // check the project's threads.
        std::unique_lock<std::mutex> lock(m_queue->mutex);
        const QEvent::Type type = event->type();
        lock.unlock();
        if (type == wakeEvent) {
            // Made on the first call, so that it and all it makes live on this thread.
            if (!m_queue->runner) {
                m_queue->runner = m_make(this);
            }
            runNext(*m_queue);
            return true;
        }
        if (type == endEvent) {
            thread()->quit();
            return true;
        }
        return QObject::event(event);
    }

private:
    const std::shared_ptr<Queue> m_queue;
    const RunnerFactory m_make;
};

Lane::RunnerFactory Lane::siblingRunner()
{
    return [](QObject* context) -> Runner {
        SiblingRunner* runner = new SiblingRunner(context);
        return [runner](const SiblingCall& call) { return runner->run(call); };
    };
}

Lane::Lane(const Sibling& sibling, Limits limits, QObject* parent, RunnerFactory makeRunner)
    : QObject(parent), m_sibling(sibling), m_capacity(limits.capacity), m_thread(new QThread),
      m_queue(std::make_shared<Queue>(limits.waitBoundSeconds)),
      m_context(new Context(m_queue, makeRunner ? std::move(makeRunner) : siblingRunner()))
{
    m_thread->setObjectName(sibling.name);
    m_context->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread->start();
}

Lane::~Lane()
{
    requestStop();
    if (waitStopped(QDeadlineTimer(stopTimeoutMs))) {
        delete m_thread;
        return;
    }
    // Destroying a running thread would abort the process; it ends with the process instead.
    qWarning().noquote() << QStringLiteral("Lane of %1 still running at exit").arg(m_sibling.name);
}

std::optional<QVariantMap> Lane::queue(const SiblingCall& call, Completion completion)
{
    auto wake = std::make_unique<QEvent>(wakeEvent);
    int held = 0;
    bool stopping = false;
    {
        const std::lock_guard<std::mutex> lock(m_queue->mutex);
        held = m_queue->held;
        stopping = m_queue->stopping;
        if (!stopping && held < m_capacity) {
            QElapsedTimer since;
            since.start();
            m_queue->waiting.push_back({call, std::move(completion), since});
            if (m_queue->held++ == 0) {
                m_queue->status.busySinceUs = wallClockUs();
            }
        }
    }
    if (!stopping && held < m_capacity) {
        QCoreApplication::postEvent(m_context, wake.release());
        return std::nullopt;
    }
    if (!stopping) {
        CH_ERROR_LINE() << "Lane of" << m_sibling.name << "full:" << held
                        << "requests wait, request refused.";
    }
    // Behind the end of the lane nothing would run it, nor answer its caller.
    const QVariantMap refused = stopping ? notRunAtStop(call) : notRunWhenFull(call, held);
    const std::lock_guard<std::mutex> lock(m_queue->mutex);
    ++(stopping ? m_queue->status.notRunAtStop : m_queue->status.notRunFull);
    keptAsFailure(m_queue->status, refused);
    return refused;
}

QVariantMap Lane::notRunWhenFull(const SiblingCall& call, int held) const
{
    return reply::failure(QStringLiteral("%1: not run: %2 has %3 requests waiting")
                              .arg(Category::commandLabel(call.number), m_sibling.busName)
                              .arg(held));
}

Lane::Status Lane::status() const
{
    const std::lock_guard<std::mutex> lock(m_queue->mutex);
    Status status = m_queue->status;
    status.waiting = int(m_queue->waiting.size());
    return status;
}

bool Lane::keptAsFailure(Status& status, const QVariantMap& reply)
{
    if (!reply::isFailure(reply)) {
        return false;
    }
    status.lastFailureUs = wallClockUs();
    status.lastFailure = reply.value(errorTextKey).toString();
    return true;
}

// On the lane's thread, once per queued call. The wait is checked only here: a call taken off
// the queue in time ends within one sibling call time-out, so its caller is still answered
// before it gives up.
void Lane::runNext(Queue& queue)
{
    std::unique_lock<std::mutex> lock(queue.mutex);
    Queue::Waiting next = std::move(queue.waiting.front());
    queue.waiting.pop_front();
    const bool stopping = queue.stopping;
    const bool expired = !stopping && next.since.elapsed() >= qint64(queue.waitBoundSeconds) * 1000;
    if (!stopping && !expired) {
        queue.status.running = next.call.number;
        queue.status.runningSinceUs = wallClockUs();
    }
    lock.unlock();
    QVariantMap reply;
    if (stopping) {
        reply = notRunAtStop(next.call);
    } else if (expired) {
        reply = notRunAfterWait(next.call, queue.waitBoundSeconds);
    } else {
        reply = queue.runner(next.call);
    }
    lock.lock();
    if (--queue.held == 0) {
        queue.status.busySinceUs = 0;
    }
    count(queue.status, reply, stopping, expired);
    lock.unlock();
    // Counted before the caller hears of it, so that a status read after the reply shows it.
    next.completion(reply);
}

void Lane::count(Status& status, const QVariantMap& reply, bool stopping, bool expired)
{
    const bool failed = keptAsFailure(status, reply);
    if (stopping) {
        ++status.notRunAtStop;
    } else if (expired) {
        ++status.notRunAfterWait;
    } else {
        status.running = 0;
        status.runningSinceUs = 0;
        ++status.run;
        status.failed += failed ? 1 : 0;
    }
}

QVariantMap Lane::notRunAtStop(const SiblingCall& call)
{
    CH_ERROR_LINE() << "Lane of" << call.sibling->name << "stopping: request not run.";
    return reply::failure(QStringLiteral("%1: not run: the service is stopping")
                              .arg(Category::commandLabel(call.number)));
}

// Its caller is about to give up on it, and running it after that would only keep the sibling,
// already behind, busy with work nobody waits for.
QVariantMap Lane::notRunAfterWait(const SiblingCall& call, int waitBoundSeconds)
{
    CH_ERROR_LINE() << qUtf8Printable(
        QStringLiteral("Command %1 not run: %2 has been busy for %3 s")
            .arg(call.number)
            .arg(call.sibling->busName)
            .arg(waitBoundSeconds));
    return reply::failure(QStringLiteral("%1: not run: %2 has been busy for %3 s")
                              .arg(Category::commandLabel(call.number), call.sibling->busName)
                              .arg(waitBoundSeconds));
}

void Lane::requestStop()
{
    auto end = std::make_unique<QEvent>(endEvent);
    {
        const std::lock_guard<std::mutex> lock(m_queue->mutex);
        if (m_queue->stopping) {
            return;
        }
        m_queue->stopping = true;
    }
    // Behind every waiting call, so that each of them is answered before the lane ends.
    QCoreApplication::postEvent(m_context, end.release());
}

bool Lane::waitStopped(QDeadlineTimer deadline)
{
    return m_thread->wait(deadline);
}
