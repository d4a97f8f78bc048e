// The stand-ins of the device libraries: the command numbers, and readiness names that would
// leave the registry directory.
#include "ServiceWatcher.h"
#include "ls/Enums.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {
const ls::MetaEnum* const commandEnumerations[] = {
    &ls::ConfigurationCommandId::meta, &ls::PaperFeedCommandId::meta, &ls::DocumentCommandId::meta,
    &ls::EmbossCommandId::meta,        &ls::TestingCommandId::meta,   &ls::IpcCommandId::meta};
} // namespace

class PlatformTest : public QObject
{
    Q_OBJECT
private slots:
    void commandValuesAreDistinctAndNeverZero();
    void readinessNamesOutsideTheDirectoryAreRefused_data();
    void readinessNamesOutsideTheDirectoryAreRefused();

private:
    QTemporaryDir m_dir;
};

void PlatformTest::commandValuesAreDistinctAndNeverZero()
{
    QSet<int> seen;
    int total = 0;
    for (const ls::MetaEnum* enumeration : commandEnumerations) {
        for (const ls::MetaEnum::Entry& entry : *enumeration) {
            QVERIFY2(entry.value != 0 && entry.value != ls::invalidEnumValue,
                     qPrintable(entry.key));
            seen.insert(entry.value);
            ++total;
        }
    }
    QCOMPARE(seen.size(), total);
    QCOMPARE(total, 30);
}

void PlatformTest::readinessNamesOutsideTheDirectoryAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << QStringLiteral("../escape");
    QTest::newRow("slash") << QStringLiteral("a/b");
    QTest::newRow("hidden") << QStringLiteral(".hidden");
    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral("print manager");
    QTest::newRow("non-ascii") << QStringLiteral("dr\u00fccker");
}

void PlatformTest::readinessNamesOutsideTheDirectoryAreRefused()
{
    QFETCH(QString, name);
    const QString directory = m_dir.filePath(QStringLiteral("watch/inner"));
    qputenv("SERVICE_WATCHER_DIR", directory.toUtf8());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refusing")));
    ServiceWatcher::setReady(name, true);
    QCOMPARE(QDir(directory).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(QDir(m_dir.filePath(QStringLiteral("watch"))).entryList(QDir::Files | QDir::Hidden),
             QStringList());
}

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"
