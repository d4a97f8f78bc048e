#include "Lane.h"

#include "CommandHandler.h"
#include "LogPrefix.h"
#include "SiblingLink.h"
#include "Siblings.h"
#include "ls/Enums.h"
#include "ls/Keys.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtDebug>

const int Lane::stopTimeoutMs = SiblingLink::callTimeoutMs + 500;
int Lane::s_waitBoundSeconds = Lane::defaultWaitBoundSeconds;

void Lane::setWaitBound(int seconds)
{
    s_waitBoundSeconds = seconds;
}

Lane::Lane(const Sibling& sibling, const CommandHandler& tableSource, int capacity, QObject* parent)
    : QObject(parent), m_sibling(sibling.name), m_busName(sibling.busName), m_capacity(capacity),
      m_waitBoundSeconds(s_waitBoundSeconds), m_thread(new QThread), m_handler(new CommandHandler),
      m_held(std::make_shared<std::atomic<int>>(0)),
      m_stopping(std::make_shared<std::atomic<bool>>(false))
{
    m_thread->setObjectName(sibling.name);
    m_handler->shareTableOf(tableSource);
    m_handler->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_handler, &QObject::deleteLater);
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
    qWarning().noquote() << QStringLiteral("Lane of %1 still running at exit").arg(m_sibling);
}

bool Lane::queue(const QVariantMap& request, Completion completion)
{
    const int held = m_held->load(std::memory_order_acquire);
    if (held >= m_capacity) {
        CH_LOG_ERROR() << "Lane of" << m_sibling << "full:" << held
                       << "requests wait, request refused.";
        return false;
    }
    m_held->fetch_add(1, std::memory_order_acq_rel);
    CommandHandler* handler = m_handler;
    // Monotonic, so that a change of the wall clock neither drops nor keeps a request.
    QElapsedTimer waiting;
    waiting.start();
    QMetaObject::invokeMethod(
        m_handler,
        [handler, request, completion = std::move(completion), counter = m_held,
         stopping = m_stopping, sibling = m_sibling, busName = m_busName,
         waitBoundSeconds = m_waitBoundSeconds, waiting] {
            // Checked only here: a request taken off the queue in time ends within one sibling
            // call time-out, so its caller is still answered before it gives up.
            if (stopping->load(std::memory_order_acquire)) {
                completion(notRunAtStop(sibling));
            } else if (waiting.hasExpired(qint64(waitBoundSeconds) * 1000)) {
                completion(notRunAfterWait(request, busName, waitBoundSeconds));
            } else {
                completion(handler->process(request));
            }
            counter->fetch_sub(1, std::memory_order_acq_rel);
        },
        Qt::QueuedConnection);
    return true;
}

void Lane::shareTableOf(const CommandHandler& source)
{
    source.shareTableWith(m_handler);
}

QVariantMap Lane::notRunAtStop(const QString& sibling)
{
    CH_LOG_ERROR() << "Lane of" << sibling << "stopping: request not run.";
    return CommandHandler::makeReply(ls::ResultId::Failure, ls::undefinedKey);
}

// Its caller is about to give up on it, and running it after that would only keep the sibling,
// already behind, busy with work nobody waits for.
QVariantMap Lane::notRunAfterWait(const QVariantMap& request, const QString& busName,
                                  int waitBoundSeconds)
{
    CH_LOG_ERROR() << qUtf8Printable(QStringLiteral("Command %1 not run: %2 has been busy for %3 s")
                                         .arg(request.value(ls::subCommandIdKey).toString().toInt())
                                         .arg(busName)
                                         .arg(waitBoundSeconds));
    return CommandHandler::makeReply(ls::ResultId::Failure, ls::undefinedKey);
}

void Lane::requestStop()
{
    if (m_stopping->exchange(true, std::memory_order_acq_rel)) {
        return;
    }
    // Queued behind every waiting request, so that each of them is answered before the lane
    // ends.
    QThread* thread = m_thread;
    QMetaObject::invokeMethod(
        m_handler, [thread] { thread->quit(); }, Qt::QueuedConnection);
}

bool Lane::waitStopped(QDeadlineTimer deadline)
{
    return m_thread->wait(deadline);
}
