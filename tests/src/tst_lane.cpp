// A lane in-process, driven by a fake runner given to it in place of the sibling's: where and in
// what order calls run, the capacity, the wait bound and the stop, with the lines each refusal
// writes. The fake blocks on a semaphore where a sibling would be slow.
#include "Category.h"
#include "Lane.h"
#include "LogCapture.h"
#include "SiblingRunner.h"
#include "Siblings.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <mutex>

namespace {

SiblingCall call(int number)
{
    SiblingCall call;
    call.sibling = &siblings::of(siblings::speech);
    call.number = number;
    return call;
}

// Runs each call once the test releases it, and records its number and thread.
struct FakeSibling {
    QSemaphore started;
    QSemaphore release;
    QVector<int> ran;
    QSet<QThread*> threads;

    Lane::RunnerFactory factory()
    {
        return [this](QObject*) -> Lane::Runner {
            return [this](const SiblingCall& call) {
                started.release();
                release.acquire();
                ran.append(call.number);
                threads.insert(QThread::currentThread());
                return QVariantMap{{"ran", call.number}};
            };
        };
    }
};

} // namespace

class LaneTest : public QObject
{
    Q_OBJECT
private slots:
    void runsInOrderOnItsOwnThreadUpToItsCapacity();
    void callsPastTheWaitBoundAreNotRun();
    void stopAnswersWaitingCallsWithoutRunningThem();
    void everyResultTypeOfACategoryHasAWayToRun();
    void idleClientsPollNothing();

private:
    // Replies by call number, written on the lane's thread.
    QMap<int, QVariantMap> m_replies;
    // A lock the thread checkers see; Qt's own is out of their sight.
    std::mutex m_mutex;
    Lane::Completion record(int number)
    {
        return [this, number](const QVariantMap& reply) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_replies.insert(number, reply);
        };
    }
    // A queued call gets no reply from queue(), a refused one its failure.
    bool queueThree(Lane& lane)
    {
        return !lane.queue(call(501), record(501)) && !lane.queue(call(502), record(502)) &&
               !lane.queue(call(503), record(503));
    }
    int replied()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_replies.size();
    }
};

void LaneTest::runsInOrderOnItsOwnThreadUpToItsCapacity()
{
    m_replies.clear();
    FakeSibling sibling;
    LogCapture log;
    Lane lane(siblings::of(siblings::speech), {3, 20}, nullptr, sibling.factory());
    QVERIFY(queueThree(lane));
    QVERIFY(lane.queue(call(504), record(504)));
    QCOMPARE(log.messages(), QStringList{"Lane::queue ERROR: Lane of \"speech\" full: 3 requests "
                                         "wait, request refused."});
    // The status shows the running call, those behind it and the refusal; then the calls run.
    QTRY_COMPARE(lane.status().running, 501);
    QCOMPARE(lane.status().waiting, 2);
    QCOMPARE(lane.status().notRunFull, 1ULL);
    QVERIFY(lane.status().busySinceUs > 0);
    sibling.release.release(3);
    QTRY_COMPARE(replied(), 3);
    const Lane::Status done = lane.status();
    QCOMPARE((QVector<quint64>{done.run, done.failed, quint64(done.running), done.busySinceUs}),
             (QVector<quint64>{3, 0, 0, 0}));
    QCOMPARE(sibling.ran, (QVector<int>{501, 502, 503}));
    QCOMPARE(sibling.threads.size(), 1);
    QVERIFY(!sibling.threads.contains(QThread::currentThread()));
    QCOMPARE(m_replies.value(503), QVariantMap({{"ran", 503}}));
    // Room again once the calls are done.
    QVERIFY(!lane.queue(call(505), record(505)));
    sibling.release.release();
}

void LaneTest::callsPastTheWaitBoundAreNotRun()
{
    m_replies.clear();
    FakeSibling sibling;
    LogCapture log;
    Lane lane(siblings::of(siblings::speech), {3, 0}, nullptr, sibling.factory());
    QVERIFY(!lane.queue(call(500), record(500)));
    QTRY_COMPARE(replied(), 1);
    QVERIFY(sibling.ran.isEmpty());
    QCOMPARE(
        m_replies.value(500),
        QVariantMap({{"resultId", "Failure"},
                     {"errorId", "Undefined"},
                     {"errorText", "SpeakText (500): not run: com.vellorn.Speech has been busy "
                                   "for 0 s"}}));
    QCOMPARE(log.messages(), QStringList{"Lane::notRunAfterWait ERROR: Command 500 not run: "
                                         "com.vellorn.Speech has been busy for 0 s"});
    QCOMPARE(lane.status().notRunAfterWait, 1ULL);
    QCOMPARE(lane.status().lastFailure, m_replies.value(500).value("errorText").toString());
}

void LaneTest::stopAnswersWaitingCallsWithoutRunningThem()
{
    m_replies.clear();
    FakeSibling sibling;
    LogCapture log;
    Lane lane(siblings::of(siblings::speech), {3, 20}, nullptr, sibling.factory());
    QVERIFY(queueThree(lane));
    // The first is running when the stop comes.
    QVERIFY(sibling.started.tryAcquire(1, 5000));
    lane.requestStop();
    sibling.release.release(3);
    QVERIFY(lane.waitStopped(QDeadlineTimer(Lane::stopTimeoutMs)));
    QCOMPARE(replied(), 3);
    QCOMPARE(sibling.ran, QVector<int>{501});
    QCOMPARE(m_replies.value(502),
             QVariantMap({{"resultId", "Failure"},
                          {"errorId", "Undefined"},
                          {"errorText", "SetSpeechRate (502): not run: the service is stopping"}}));
    const QString notRun =
        QStringLiteral("Lane::notRunAtStop ERROR: Lane of \"speech\" stopping: request not run.");
    QCOMPARE(log.messages(), (QStringList{notRun, notRun}));
    QCOMPARE(lane.status().notRunAtStop, 2ULL);
    QCOMPARE(lane.status().run, 1ULL);
}

// The handler lets through each result type a category's row names; one the lane's runner has no
// way for would fail every such command, however good the table.
void LaneTest::everyResultTypeOfACategoryHasAWayToRun()
{
    for (const Category& category : Category::all()) {
        const QStringList types =
            category.resultTypes.isEmpty() ? QStringList{QString()} : category.resultTypes;
        for (const QString& type : types) {
            QVERIFY2(SiblingRunner::runs(category.key, type),
                     qPrintable(category.key + QLatin1Char(' ') + type));
        }
    }
    QVERIFY(!SiblingRunner::runs(ls::CommandCategories::TestingCommandId, QStringLiteral("int")));
}

// A lane sleeps between commands: the clients its runner made must not check on their siblings
// every few seconds, which the client library does unless told not to. No bus is needed: the
// calls fail at once, after the clients were made.
void LaneTest::idleClientsPollNothing()
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    LogCapture log;
    SiblingRunner runner;
    const QVector<QPair<QString, QString>> calls = {
        {ls::CommandCategories::PaperFeedCommandId, "loadPaper"},
        {ls::CommandCategories::EmbossCommandId, "startEmbossing"},
        {ls::CommandCategories::ConfigurationCommandId, "resetSettings"},
        {ls::CommandCategories::TestingCommandId, "stop"},
    };
    for (const auto& [category, function] : calls) {
        SiblingCall made = call(1);
        made.category = category;
        made.sibling = &Category::named(category)->carrier();
        made.resultType = QStringLiteral("void");
        made.function = function;
        runner.run(made);
    }
    const QList<QTimer*> timers = runner.findChildren<QTimer*>();
    QVERIFY(timers.size() >= calls.size());
    for (const QTimer* timer : timers) {
        QVERIFY2(!timer->isActive(),
                 qPrintable(timer->parent()->parent()->metaObject()->className()));
    }
}

QTEST_GUILESS_MAIN(LaneTest)
#include "tst_lane.moc"
