// The start-up gate's readiness thread against a readiness directory of the test's own (the
// entry point's wait on it is exercised by the start-up test of the real binary), and the
// readiness names that would leave that directory.
#include "ServiceWatcher.h"
#include "SystemCheck.h"

#include <QDir>
#include <QRegularExpression>
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
    void init() { markReady(siblings, false); }
    void cleanup();
    void opensWhenAllSiblingsAreReadyAtOnce_data();
    void opensWhenAllSiblingsAreReadyAtOnce();
    void opensWhenTheDirectoryComesLate();
    void namesOutsideTheDirectoryAreRefused_data();
    void namesOutsideTheDirectoryAreRefused();

private:
    QTemporaryDir m_watcher;
    SystemCheck m_check;
};

void SystemCheckTest::initTestCase()
{
    qputenv("SERVICE_WATCHER_DIR", m_watcher.path().toUtf8());
    // The entry point waits for as long as this is false: the gate starts closed.
    QVERIFY(!backendsReady);
}

void SystemCheckTest::cleanup()
{
    // After a failure the thread still polls; it must end before its object goes.
    markReady(siblings);
    QVERIFY(m_check.wait(10000));
    QVERIFY(backendsReady);
}

void SystemCheckTest::opensWhenAllSiblingsAreReadyAtOnce_data()
{
    QTest::addColumn<QString>("late");
    // Ready while the late one was not, then gone just before it came.
    QTest::addColumn<QString>("gone");
    for (const QString& name : siblings) {
        QTest::newRow(qPrintable(name + " late")) << name << QString();
    }
    QTest::newRow("print-manager gone") << "speechd"
                                        << "print-manager";
}

void SystemCheckTest::opensWhenAllSiblingsAreReadyAtOnce()
{
    QFETCH(QString, late);
    QFETCH(QString, gone);

    QStringList early = siblings;
    early.removeOne(late);
    markReady(early);
    m_check.start();
    // The thread ends as soon as it has opened the gate.
    QVERIFY(!m_check.wait(300));
    if (!gone.isEmpty()) {
        ServiceWatcher::setReady(gone, false);
        // A pass that began before it went must be over before the late one comes.
        QVERIFY(!m_check.wait(100));
        ServiceWatcher::setReady(late, true);
        QVERIFY(!m_check.wait(300));
        late = gone;
    }
    ServiceWatcher::setReady(late, true);
    QVERIFY(m_check.wait(5000));
}

void SystemCheckTest::opensWhenTheDirectoryComesLate()
{
    // Not there when the gate starts to wait: created with the first readiness file.
    qputenv("SERVICE_WATCHER_DIR", m_watcher.filePath(QStringLiteral("late")).toUtf8());
    m_check.start();
    QVERIFY(!m_check.wait(300));
    markReady(siblings);
    const bool opened = m_check.wait(5000);
    qputenv("SERVICE_WATCHER_DIR", m_watcher.path().toUtf8());
    QVERIFY(opened);
}

void SystemCheckTest::namesOutsideTheDirectoryAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("slash") << QStringLiteral("a/b");
    QTest::newRow("hidden") << QStringLiteral(".hidden");
    QTest::newRow("empty") << QString();
}

void SystemCheckTest::namesOutsideTheDirectoryAreRefused()
{
    QFETCH(QString, name);
    const QString directory = m_watcher.filePath(QStringLiteral("names/inner"));
    qputenv("SERVICE_WATCHER_DIR", directory.toUtf8());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refusing")));
    ServiceWatcher::setReady(name, true);
    qputenv("SERVICE_WATCHER_DIR", m_watcher.path().toUtf8());
    QCOMPARE(QDir(directory).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(
        QDir(m_watcher.filePath(QStringLiteral("names"))).entryList(QDir::Files | QDir::Hidden),
        QStringList());
}

QTEST_GUILESS_MAIN(SystemCheckTest)
#include "tst_systemcheck.moc"
