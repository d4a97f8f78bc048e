#include "Lane.h"

#include "CommandHandler.h"
#include "LogPrefix.h"
#include "SiblingLink.h"
#include "ls/Enums.h"

#include <QThread>
#include <QtDebug>

const int Lane::stopTimeoutMs = SiblingLink::callTimeoutMs + 500;

Lane::Lane(const QString& sibling, const CommandHandler& tableSource, int capacity, QObject* parent)
    : QObject(parent), m_sibling(sibling), m_capacity(capacity), m_thread(new QThread),
      m_handler(new CommandHandler), m_held(std::make_shared<std::atomic<int>>(0)),
      m_stopping(std::make_shared<std::atomic<bool>>(false))
{
    m_thread->setObjectName(sibling);
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
    QMetaObject::invokeMethod(
        m_handler,
        [handler, request, completion = std::move(completion), counter = m_held,
         stopping = m_stopping, sibling = m_sibling] {
            completion(stopping->load(std::memory_order_acquire) ? notRunAtStop(sibling)
                                                                 : handler->process(request));
            counter->fetch_sub(1, std::memory_order_acq_rel);
        },
        Qt::QueuedConnection);
    return true;
}

QVariantMap Lane::notRunAtStop(const QString& sibling)
{
    CH_LOG_ERROR() << "Lane of" << sibling << "stopping: request not run.";
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
