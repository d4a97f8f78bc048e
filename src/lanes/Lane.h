#pragma once

#include "SiblingCall.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class QThread;
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
    // What carries out a call on the lane, made there by a factory given the lane's context
    // object, on the lane's thread, as the parent for whatever it makes.
    using Runner = std::function<QVariantMap(const SiblingCall& call)>;
    using RunnerFactory = std::function<Runner(QObject* context)>;
    // The sibling's own runner: its proxy and client.
    static RunnerFactory siblingRunner();
    // A lane ends once its sibling call has returned, which the call time-out bounds.
    static const int stopTimeoutMs;
    // What the lane does and has done since it started, as a copy taken under the lane's lock.
    struct Status {
        // The command running on the sibling (0 while none does) and since when, in
        // microseconds since the epoch.
        int running = 0;
        quint64 runningSinceUs = 0;
        // Since when the lane has had calls to run without a pause; 0 while it has none.
        quint64 busySinceUs = 0;
        int waiting = 0;
        // Run on the sibling; of those, answered with a failure.
        quint64 run = 0;
        quint64 failed = 0;
        // Answered without being run: waited past the bound, lane full, service stopping.
        quint64 notRunAfterWait = 0;
        quint64 notRunFull = 0;
        quint64 notRunAtStop = 0;
        // The last failure the lane answered with, run or not, as a caller's errorText gives it.
        quint64 lastFailureUs = 0;
        QString lastFailure;
    };
    struct Limits {
        // Calls held at once, waiting and running.
        int capacity;
        // A call that has waited this long is answered without being run.
        int waitBoundSeconds;
    };

    Lane(const Sibling& sibling, Limits limits, QObject* parent = nullptr,
         RunnerFactory makeRunner = {});
    ~Lane() override;

    // Nothing when the call is queued. The failure reply, after one error line and without
    // calling the completion, when the lane already holds its capacity of calls (waiting or
    // running). A call still waiting when the wait bound passes is never run: its completion
    // gets a failure, after one error line.
    std::optional<QVariantMap> queue(const SiblingCall& call, Completion completion);

    Status status() const;

    // The thread ends after the call it runs; calls still waiting are not run but answered with
    // a failure, so that no caller is left without a reply.
    void requestStop();
    // True when the thread has ended by the deadline.
    bool waitStopped(QDeadlineTimer deadline);

private:
    // What the main thread hands to the lane's thread, and only through it: shared so that a
    // lane thread left running at shutdown never touches a deleted object.
    struct Queue;
    class Context;
    static void runNext(Queue& queue);
    // Under the queue's lock: what the lane answered a call with, counted.
    static void count(Status& status, const QVariantMap& reply, bool stopping, bool expired);
    // A failure is kept as the lane's last one; false for a success.
    static bool keptAsFailure(Status& status, const QVariantMap& reply);
    QVariantMap notRunWhenFull(const SiblingCall& call, int held) const;
    static QVariantMap notRunAtStop(const SiblingCall& call);
    static QVariantMap notRunAfterWait(const SiblingCall& call, int waitBoundSeconds);

    const Sibling& m_sibling;
    int m_capacity;
    QThread* m_thread;
    std::shared_ptr<Queue> m_queue;
    // Moved to the lane's thread: each queued call wakes it there, and the runner is its child,
    // made there. Deleted there when the thread ends.
    Context* m_context;
};
