// The stand-ins of the device libraries: enumerations, readiness registry, JSON reader.
#include "ServiceWatcher.h"
#include "ls/Enums.h"
#include "ls/JFile.h"

#include <QDir>
#include <QFile>
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
    void metaEnumLookups();
    void commandValuesAreDistinctAndNeverZero();
    void metaEnumFirstNameWinsForSharedValue();
    void readinessFiles();
    void readinessNamesOutsideTheDirectoryAreRefused_data();
    void readinessNamesOutsideTheDirectoryAreRefused();
    void jsonFile_data();
    void jsonFile();

private:
    QTemporaryDir m_dir;
};

void PlatformTest::metaEnumLookups()
{
    QCOMPARE(ls::PaperFeedCommandId::meta.value(QStringLiteral("FeedLines")), 202);
    QCOMPARE(ls::PaperFeedCommandId::meta.key(202), QStringLiteral("FeedLines"));
    QCOMPARE(ls::PaperFeedCommandId::meta.value(QStringLiteral("feedlines")), ls::invalidEnumValue);
    QCOMPARE(ls::PaperFeedCommandId::meta.key(300), ls::undefinedKey);

    QStringList order;
    for (const ls::MetaEnum::Entry& entry : ls::CommandCategories::meta) {
        order << QStringLiteral("%1=%2").arg(entry.key).arg(entry.value);
    }
    QCOMPARE(order,
             QStringList({"ConfigurationCommandId=1", "PaperFeedCommandId=2", "DocumentCommandId=3",
                          "EmbossCommandId=4", "TestingCommandId=5", "IpcCommandId=6"}));
}

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

void PlatformTest::metaEnumFirstNameWinsForSharedValue()
{
    const ls::MetaEnum shared{{QStringLiteral("First"), 7}, {QStringLiteral("Second"), 7}};
    QCOMPARE(shared.key(7), QStringLiteral("First"));
    QCOMPARE(shared.value(QStringLiteral("Second")), 7);
}

void PlatformTest::readinessFiles()
{
    QVERIFY(m_dir.isValid());
    const QString directory = m_dir.filePath(QStringLiteral("not/yet/there"));
    qputenv("SERVICE_WATCHER_DIR", directory.toUtf8());

    QVERIFY(!ServiceWatcher::isReady(QStringLiteral("print-manager")));
    ServiceWatcher::setReady(QStringLiteral("print-manager"), true);
    QVERIFY(ServiceWatcher::isReady(QStringLiteral("print-manager")));
    QVERIFY(QFile::exists(directory + QStringLiteral("/print-manager.ready")));
    // Only the ready file is left behind: the write goes through a renamed temporary file.
    QCOMPARE(QDir(directory).entryList(QDir::Files), QStringList{"print-manager.ready"});

    ServiceWatcher::setReady(QStringLiteral("print-manager"), true);
    QVERIFY(ServiceWatcher::isReady(QStringLiteral("print-manager")));
    ServiceWatcher::setReady(QStringLiteral("print-manager"), false);
    QVERIFY(!ServiceWatcher::isReady(QStringLiteral("print-manager")));
    ServiceWatcher::setReady(QStringLiteral("print-manager"), false);
    QVERIFY(!ServiceWatcher::isReady(QStringLiteral("print-manager")));
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

void PlatformTest::jsonFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QVariantMap>("expected");
    QTest::newRow("object") << QByteArray(R"({"a": {"b": 1}})") << true
                            << QVariantMap{{"a", QVariantMap{{"b", 1}}}};
    QTest::newRow("empty object") << QByteArray("{}") << true << QVariantMap();
    QTest::newRow("array") << QByteArray("[1, 2]") << false << QVariantMap{{"kept", true}};
    QTest::newRow("not json") << QByteArray("{oops") << false << QVariantMap{{"kept", true}};
    QTest::newRow("empty file") << QByteArray() << false << QVariantMap{{"kept", true}};
    QTest::newRow("missing") << QByteArray() << false << QVariantMap{{"kept", true}};
}

void PlatformTest::jsonFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, readable);
    QFETCH(QVariantMap, expected);
    const QString path = m_dir.filePath(QStringLiteral("table.json"));
    QFile::remove(path);
    if (QString::fromLatin1(QTest::currentDataTag()) != QLatin1String("missing")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    QVariantMap out{{"kept", true}};
    ls::JFile reader;
    QCOMPARE(reader.read(path, out), readable);
    QCOMPARE(out, expected);
}

QTEST_GUILESS_MAIN(PlatformTest)
#include "tst_platform.moc"
