// The start-up gate in-process, on a readiness directory of its own: what it says while it
// waits, that it opens once, when all four siblings are ready together, and that it gives its
// descriptor back.
#include "LogCapture.h"
#include "ServiceWatcher.h"
#include "SystemCheck.h"
#include "TestBus.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {
int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}
} // namespace

class SystemCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void opensAtOnceWhenAllAreReady();
    void waitsAndSaysForWhom();
    void givesItsDescriptorBack_data();
    void givesItsDescriptorBack();

private:
    QTemporaryDir m_directory;
    const QStringList m_names = TestBus::siblingReadinessNames;
};

void SystemCheckTest::initTestCase()
{
    QCOMPARE(m_names.size(), 4);
    qputenv("SERVICE_WATCHER_DIR", QFile::encodeName(m_directory.path()));
}

void SystemCheckTest::init()
{
    for (const QString& name : m_names) {
        QVERIFY(ServiceWatcher::setReady(name, false));
    }
}

void SystemCheckTest::opensAtOnceWhenAllAreReady()
{
    for (const QString& name : m_names) {
        QVERIFY(ServiceWatcher::setReady(name, true));
    }
    LogCapture log;
    SystemCheck check;
    QVERIFY(check.start());
    QCOMPARE(log.messages(), QStringList());
}

void SystemCheckTest::waitsAndSaysForWhom()
{
    QVERIFY(ServiceWatcher::setReady(m_names[0], true));
    LogCapture log;
    SystemCheck check;
    QSignalSpy opened(&check, &SystemCheck::siblingsReady);
    QVERIFY(!check.start());
    QStringList expected{"Waiting for sibling services: " + m_names.mid(1).join(", ")};
    QCOMPARE(log.messages(), expected);

    QVERIFY(ServiceWatcher::setReady(m_names[1], true));
    expected << "Sibling service ready: " + m_names[1];
    QTRY_COMPARE(log.messages(), expected);
    QVERIFY(ServiceWatcher::setReady(m_names[0], false));
    expected << "Sibling service no longer ready: " + m_names[0];
    QTRY_COMPARE(log.messages(), expected);
    for (const QString& name : {m_names[0], m_names[2], m_names[3]}) {
        QVERIFY(ServiceWatcher::setReady(name, true));
        expected << "Sibling service ready: " + name;
    }
    QTRY_COMPARE(opened.count(), 1);
    QCOMPARE(log.messages(), expected);
}

void SystemCheckTest::givesItsDescriptorBack_data()
{
    QTest::addColumn<bool>("standardInputClosed");
    QTest::newRow("usual") << false;
    // The first free descriptor is then 0.
    QTest::newRow("standard input closed") << true;
}

void SystemCheckTest::givesItsDescriptorBack()
{
    QFETCH(bool, standardInputClosed);
    const int input = ::dup(STDIN_FILENO);
    if (standardInputClosed) {
        ::close(STDIN_FILENO);
    }
    const int before = openDescriptors();
    delete new SystemCheck;
    const int after = openDescriptors();
    ::dup2(input, STDIN_FILENO);
    ::close(input);
    QCOMPARE(after, before);
}

QTEST_GUILESS_MAIN(SystemCheckTest)
#include "tst_systemcheck.moc"
