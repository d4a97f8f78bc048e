// The upgrade of the device's command table, as the package's postinst runs it, in a staging root
// (DPKG_ROOT) that stands in for a device an earlier version was installed on: the table that
// version left, and the checksum of the default it installed.
#include "TestTools.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray oldDefault = R"({"LoadPaper": {"category": "PaperFeedCommandId"}})";
const QByteArray newDefault = R"({"LoadPaper": {"category": "PaperFeedCommandId"}, "x": {}})";
const QByteArray edited = R"({"LoadPaper": {"category": "PaperFeedCommandId", "edited": 1}})";
const QString table = QStringLiteral("/var/lib/command-handler/commandTable.json");
const QString record = table + QStringLiteral(".default.sha256");

QByteArray checksum(const QByteArray& contents)
{
    return QCryptographicHash::hash(contents, QCryptographicHash::Sha256).toHex() + '\n';
}

} // namespace

class TableUpgradeTest : public QObject
{
    Q_OBJECT
private slots:
    void upgradeKeepsOnlyWhatWasChanged_data();
    void upgradeKeepsOnlyWhatWasChanged();

private:
    QByteArray read(const QString& path) const;

    QTemporaryDir m_root;
};

QByteArray TableUpgradeTest::read(const QString& path) const
{
    return QFile::exists(m_root.path() + path) ? readFile(m_root.path() + path)
                                               : QByteArray("(none)");
}

void TableUpgradeTest::upgradeKeepsOnlyWhatWasChanged_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("recorded");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QByteArray>("dist");
    QTest::addColumn<QByteArray>("said");

    const QByteArray none = "(none)";
    QTest::newRow("first install") << none << none << newDefault << none << QByteArray();
    QTest::newRow("earlier default, unchanged")
        << oldDefault << checksum(oldDefault) << newDefault << none << QByteArray();
    QTest::newRow("already the new default")
        << newDefault << checksum(oldDefault) << newDefault << none << QByteArray();
    const QByteArray kept = "command-handler: %1 was changed on this device and is kept; the new "
                            "default command table is beside it as %1.dist\n";
    QTest::newRow("changed on the device")
        << edited << checksum(oldDefault) << edited << newDefault << kept;
    // An earlier version that kept no record: whatever is there may be someone's work.
    QTest::newRow("no record, not the new default")
        << oldDefault << none << oldDefault << newDefault << kept;
}

void TableUpgradeTest::upgradeKeepsOnlyWhatWasChanged()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, recorded);
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, dist);
    QFETCH(QByteArray, said);
    QVERIFY(m_root.isValid());
    QDir(m_root.path() + "/var").removeRecursively();
    QVERIFY(writeFile(m_root.path() + DEFAULT_TABLE_PATH, newDefault));
    QVERIFY(before == "(none)" || writeFile(m_root.path() + table, before));
    QVERIFY(recorded == "(none)" || writeFile(m_root.path() + record, recorded));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DPKG_ROOT"), m_root.path());
    const ProgramRun upgrade = runProgram({"/bin/sh", UPDATE_SCRIPT}, {}, 30000, environment);
    QCOMPARE(upgrade.exitCode, 0);
    QCOMPARE(upgrade.err, QString());
    QCOMPARE(upgrade.out,
             said.isEmpty() ? QString() : QString::fromUtf8(said).arg(m_root.path() + table));
    QCOMPARE(read(table), after);
    QCOMPARE(read(table + ".dist"), dist);
    // The record follows the default the table now is; a kept table keeps the one it came from.
    QCOMPARE(read(record), dist == "(none)" ? checksum(newDefault) : recorded);
}

QTEST_GUILESS_MAIN(TableUpgradeTest)
#include "tst_tableupgrade.moc"
