#include "Lane.h"

#include "LogPrefix.h"
#include "Reply.h"
#include "SiblingLink.h"
#include "SiblingRunner.h"
#include "Siblings.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtDebug>

const int Lane::stopTimeoutMs = SiblingLink::callTimeoutMs + 500;
int Lane::s_waitBoundSeconds = Lane::defaultWaitBoundSeconds;

void Lane::setWaitBound(int seconds)
{
    s_waitBoundSeconds = seconds;
}

Lane::Lane(const Sibling& sibling, int capacity, QObject* parent)
    : QObject(parent), m_sibling(sibling), m_capacity(capacity),
      m_waitBoundSeconds(s_waitBoundSeconds), m_thread(new QThread), m_context(new QObject),
      m_runner(std::make_shared<SiblingRunner*>(nullptr)),
      m_held(std::make_shared<std::atomic<int>>(0)),
      m_stopping(std::make_shared<std::atomic<bool>>(false))
{
    m_thread->setObjectName(sibling.name);
    m_context->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    // The first thing the lane does: everything queued later finds the runner made.
    QObject* context = m_context;
    QMetaObject::invokeMethod(
        m_context,
        [context, runner = m_runner, &sibling] { *runner = new SiblingRunner(sibling, context); },
        Qt::QueuedConnection);
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

bool Lane::queue(const SiblingCall& call, Completion completion)
{
    const int held = m_held->load(std::memory_order_acquire);
    if (held >= m_capacity) {
        CH_LOG_ERROR() << "Lane of" << m_sibling.name << "full:" << held
                       << "requests wait, request refused.";
        return false;
    }
    m_held->fetch_add(1, std::memory_order_acq_rel);
    // Monotonic, so that a change of the wall clock neither drops nor keeps a request.
    QElapsedTimer waiting;
    waiting.start();
    QMetaObject::invokeMethod(
        m_context,
        [call, completion = std::move(completion), runner = m_runner, counter = m_held,
         stopping = m_stopping, waitBoundSeconds = m_waitBoundSeconds, waiting] {
            // Checked only here: a call taken off the queue in time ends within one sibling
            // call time-out, so its caller is still answered before it gives up.
            if (stopping->load(std::memory_order_acquire)) {
                completion(notRunAtStop(call.sibling->name));
            } else if (waiting.hasExpired(qint64(waitBoundSeconds) * 1000)) {
                completion(notRunAfterWait(call, waitBoundSeconds));
            } else {
                completion((*runner)->run(call));
            }
            counter->fetch_sub(1, std::memory_order_acq_rel);
        },
        Qt::QueuedConnection);
    return true;
}

QVariantMap Lane::notRunAtStop(const QString& sibling)
{
    CH_LOG_ERROR() << "Lane of" << sibling << "stopping: request not run.";
    return reply::failure();
}

// Its caller is about to give up on it, and running it after that would only keep the sibling,
// already behind, busy with work nobody waits for.
QVariantMap Lane::notRunAfterWait(const SiblingCall& call, int waitBoundSeconds)
{
    CH_LOG_ERROR() << qUtf8Printable(QStringLiteral("Command %1 not run: %2 has been busy for %3 s")
                                         .arg(call.number)
                                         .arg(call.sibling->busName)
                                         .arg(waitBoundSeconds));
    return reply::failure();
}

void Lane::requestStop()
{
    if (m_stopping->exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    // Queued behind every waiting call, so that each of them is answered before the lane ends.
    QThread* thread = m_thread;
    QMetaObject::invokeMethod(
        m_context, [thread] { thread->quit(); }, Qt::QueuedConnection);
}

bool Lane::waitStopped(QDeadlineTimer deadline)
{
    return m_thread->wait(deadline);
}
