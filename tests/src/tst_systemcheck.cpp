// The start-up gate against a readiness directory of the test's own.
#include "ServiceWatcher.h"
#include "SystemCheck.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList siblings{"print-manager", "configuration-manager", "document-manager", "speechd"};

void markReady(const QStringList& names, bool ready = true)
{
    for (const QString& name : names) {
        ServiceWatcher::setReady(name, ready);
    }
}

} // namespace

class SystemCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opensWhenTheLastSiblingIsReady_data();
    void opensWhenTheLastSiblingIsReady();
    void flappingSiblingKeepsTheGateClosed();

private:
    QTemporaryDir m_watcher;
    SystemCheck m_check;
    QThread* m_waiter = nullptr;
};

void SystemCheckTest::initTestCase()
{
    qputenv("SERVICE_WATCHER_DIR", m_watcher.path().toUtf8());
}

void SystemCheckTest::init()
{
    markReady(siblings, false);
    gateMutex.lock();
    backendsReady = false;
    gateMutex.unlock();
    m_check.start(QThread::InheritPriority);
    // The entry point's side of the gate, on a thread of its own so that the test can watch it.
    // It cannot give up: the gate thread holds the mutex for as long as it polls.
    m_waiter = QThread::create([] {
        gateMutex.lock();
        while (!backendsReady) {
            gateCondition.wait(&gateMutex);
        }
        gateMutex.unlock();
    });
    m_waiter->start();
}

void SystemCheckTest::cleanup()
{
    // After a failure both threads may still wait; they must end before their objects go.
    markReady(siblings);
    QVERIFY(m_check.wait(10000));
    QVERIFY(m_waiter->wait(10000));
    delete m_waiter;
}

void SystemCheckTest::opensWhenTheLastSiblingIsReady_data()
{
    QTest::addColumn<QString>("late");
    QTest::newRow("none late") << QString();
    for (const QString& name : siblings) {
        QTest::newRow(qPrintable(name + " late")) << name;
    }
}

void SystemCheckTest::opensWhenTheLastSiblingIsReady()
{
    QFETCH(QString, late);

    QStringList early = siblings;
    early.removeOne(late);
    markReady(early);
    if (!late.isEmpty()) {
        // The gate thread ends as soon as it has opened the gate.
        QVERIFY(!m_check.wait(300));
        QVERIFY(m_waiter->isRunning());
        ServiceWatcher::setReady(late, true);
    }
    QVERIFY(m_waiter->wait(5000));
    QVERIFY(m_check.wait(5000));
}

void SystemCheckTest::flappingSiblingKeepsTheGateClosed()
{
    // Each sibling is seen ready at some point, but never all four in one pass.
    markReady({"configuration-manager", "document-manager"});
    for (int i = 0; i < 20; ++i) {
        ServiceWatcher::setReady("print-manager", i % 2 == 0);
        QVERIFY(!m_check.wait(10));
    }
    ServiceWatcher::setReady("speechd", true);
    QVERIFY(!m_check.wait(300));
    QVERIFY(m_waiter->isRunning());

    ServiceWatcher::setReady("print-manager", true);
    QVERIFY(m_waiter->wait(5000));
}

QTEST_GUILESS_MAIN(SystemCheckTest)
#include "tst_systemcheck.moc"
