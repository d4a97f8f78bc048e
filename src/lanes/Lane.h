#pragma once

#include "SiblingCall.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>

class QThread;
class SiblingRunner;
struct Sibling;

// One sibling's lane: a thread of its own on which that sibling's checked calls run one at a
// time, in the order they were queued, through a runner made on that thread, which owns the
// sibling's proxy and client. A slow or hung sibling holds up its own lane and nothing else.
// The Lane object itself lives on the main thread and is used from there only.
class Lane : public QObject
{
    Q_OBJECT
public:
    // Called on the lane's thread with the reply once the call has run there.
    using Completion = std::function<void(const QVariantMap& reply)>;
    // A lane ends once its sibling call has returned, which the call time-out bounds.
    static const int stopTimeoutMs;
    // A request that has waited this long on its lane is answered without being run. With the
    // one sibling call that may be running when the bound passes (at most the call time-out),
    // every caller hears from the service within 22 s, before a bus client's default 25 s.
    static constexpr int defaultWaitBoundSeconds = 20;
    // Main thread only, before the lanes are built: each lane keeps the bound it was built with,
    // so its thread never reads this.
    static void setWaitBound(int seconds);

    Lane(const Sibling& sibling, int capacity, QObject* parent = nullptr);
    ~Lane() override;

    // False, after one error line and without calling the completion, when the lane already
    // holds its capacity of requests (waiting or running). A call still waiting when the wait
    // bound passes is never run: its completion gets a failure, after one error line.
    bool queue(const SiblingCall& call, Completion completion);

    // The thread ends after the call it runs; calls still waiting are not run but answered with
    // a failure, so that no caller is left without a reply.
    void requestStop();
    // True when the thread has ended by the deadline.
    bool waitStopped(QDeadlineTimer deadline);

private:
    static QVariantMap notRunAtStop(const QString& sibling);
    static QVariantMap notRunAfterWait(const SiblingCall& call, int waitBoundSeconds);

    static int s_waitBoundSeconds;

    const Sibling& m_sibling;
    int m_capacity;
    int m_waitBoundSeconds;
    QThread* m_thread;
    // Moved to the lane's thread: the calls are queued to it, and the runner is its child, made
    // there. Deleted there when the thread ends.
    QObject* m_context;
    // Set and read on the lane's thread only, by the calls queued to m_context.
    std::shared_ptr<SiblingRunner*> m_runner;
    // Queued here, counted down on the lane: shared so that a lane thread left running at
    // shutdown never counts into a deleted object.
    std::shared_ptr<std::atomic<int>> m_held;
    // Set by the main thread at stop, read on the lane before each waiting call.
    std::shared_ptr<std::atomic<bool>> m_stopping;
};
