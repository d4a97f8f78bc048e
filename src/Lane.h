#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>

class CommandHandler;
struct Sibling;
class QThread;

// One sibling's lane: a thread of its own on which that sibling's commands run one at a time, in
// the order they were queued, through a command handler that lives there and shares the main
// handler's command table. The sibling's proxy and client object are created by that handler on
// their first use, so they live on the lane too. A slow or hung sibling holds up its own lane and
// nothing else.
class Lane : public QObject
{
    Q_OBJECT
public:
    // Called on the lane's thread with the reply, once process has returned there.
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

    Lane(const Sibling& sibling, const CommandHandler& tableSource, int capacity,
         QObject* parent = nullptr);
    ~Lane() override;

    QString sibling() const { return m_sibling; }

    // False, after one error line and without calling the completion, when the lane already
    // holds its capacity of requests (waiting or running). A request still waiting when the wait
    // bound passes is never run: its completion gets a failure, after one error line.
    bool queue(const QVariantMap& request, Completion completion);
    // A reloaded command table, for the requests queued from now on.
    void shareTableOf(const CommandHandler& source);

    // The thread ends after the command it runs; requests still waiting are not run but
    // answered with a failure, so that no caller is left without a reply.
    void requestStop();
    // True when the thread has ended by the deadline.
    bool waitStopped(QDeadlineTimer deadline);

private:
    static QVariantMap notRunAtStop(const QString& sibling);
    static QVariantMap notRunAfterWait(const QVariantMap& request, const QString& busName,
                                       int waitBoundSeconds);

    static int s_waitBoundSeconds;

    QString m_sibling;
    // The sibling's name on the bus, as technicians find it in the bus's and the sibling's logs.
    QString m_busName;
    int m_capacity;
    int m_waitBoundSeconds;
    QThread* m_thread;
    // Lives on the lane's thread; deleted there when the thread ends.
    CommandHandler* m_handler;
    // Queued here, counted down on the lane: shared so that a lane thread left running at
    // shutdown never counts into a deleted object.
    std::shared_ptr<std::atomic<int>> m_held;
    // Set by the main thread at stop, read on the lane before each waiting request.
    std::shared_ptr<std::atomic<bool>> m_stopping;
};
