// The command table checked as it is loaded: the shipped table with one mistake at a time, as a
// technician makes them, each named by exactly one warning, and the table still loaded. The
// client libraries are linked for the methods they offer; no sibling is asked.
#include "CommandHandler.h"
#include "DirectCarrier.h"
#include "LogCapture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

using Mistake = std::function<void(QJsonObject&)>;

QJsonObject shippedTable()
{
    QFile file(QStringLiteral(DEFAULT_TABLE));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
}

void setField(QJsonObject& table, const QString& entry, const QString& field,
              const QJsonValue& value)
{
    QJsonObject changed = table.value(entry).toObject();
    changed.insert(field, value);
    table.insert(entry, changed);
}

QString cannotWork(const QString& entry, const QString& why)
{
    return QStringLiteral("Command table: \"%1\" cannot work: %2").arg(entry, why);
}

} // namespace

Q_DECLARE_METATYPE(Mistake)

class TableCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void eachMistakeIsNamedOnce_data();
    void eachMistakeIsNamedOnce();
    void manyProblemsAreBounded();

private:
    // The warnings of loading the table, which must load.
    QStringList warningsOf(const QJsonObject& table, CommandHandler::TableLoad* load = nullptr);

    QTemporaryDir m_directory;
    DirectCarrier m_carrier;
    CommandHandler m_handler{m_carrier};
};

QStringList TableCheckTest::warningsOf(const QJsonObject& table, CommandHandler::TableLoad* load)
{
    QFile file(m_directory.filePath(QStringLiteral("commandTable.json")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return {QStringLiteral("cannot write the table")};
    }
    file.write(QJsonDocument(table).toJson());
    file.close();
    LogCapture log;
    const CommandHandler::TableLoad loaded = m_handler.load(file.fileName());
    if (load != nullptr) {
        *load = loaded;
    }
    return loaded.loaded ? log.messages(QtWarningMsg) : QStringList{QStringLiteral("not loaded")};
}

void TableCheckTest::eachMistakeIsNamedOnce_data()
{
    QTest::addColumn<Mistake>("mistake");
    QTest::addColumn<QString>("warning");

    QTest::newRow("shipped table") << Mistake([](QJsonObject&) {}) << QString();
    QTest::newRow("method misspelt")
        << Mistake(
               [](QJsonObject& table) { setField(table, "FeedLines", "function", "feedLinez"); })
        << cannotWork("FeedLines",
                      "the client of com.vellorn.PrintManager has no method \"feedLinez\"");
    QTest::newRow("result type unknown")
        << Mistake([](QJsonObject& table) {
               setField(table, "GetPaperPosition", "returnType", "integer");
           })
        << cannotWork("GetPaperPosition", "PaperFeedCommandId takes no result type \"integer\" "
                                          "(it takes void, int, bool)");
    QTest::newRow("category unknown") << Mistake([](QJsonObject& table) {
        setField(table, "SetCopies", "category", "EmbosCommandId");
    }) << cannotWork("SetCopies", "its category \"EmbosCommandId\" is no category of the service");
    QTest::newRow("count against types") << Mistake([](QJsonObject& table) {
        setField(table, "SetPaperLength", "argumentCount", 2);
    }) << cannotWork("SetPaperLength", "it counts 2 argument(s) and gives the types of 1");
    QTest::newRow("entry deleted")
        << Mistake([](QJsonObject& table) { table.remove("StopSpeaking"); })
        << QStringLiteral("Command table: no entry for StopSpeaking (501) of TestingCommandId: "
                          "the command is refused");
    QTest::newRow("entry name misspelt")
        << Mistake([](QJsonObject& table) {
               table.insert("SelectDokument", table.take("SelectDocument"));
           })
        << cannotWork("SelectDokument",
                      "it is no command of DocumentCommandId, which lacks \"SelectDocument\"");
    QTest::newRow("a method only QObject offers")
        << Mistake(
               [](QJsonObject& table) { setField(table, "EjectPaper", "function", "deleteLater"); })
        << cannotWork("EjectPaper",
                      "the client of com.vellorn.PrintManager has no method \"deleteLater\"");
    QTest::newRow("no function") << Mistake([](QJsonObject& table) {
        QJsonObject entry = table.value("LoadPaper").toObject();
        entry.remove("function");
        table.insert("LoadPaper", entry);
    }) << cannotWork("LoadPaper", "it names no function");
    QTest::newRow("empty") << Mistake([](QJsonObject& table) {
        table = {};
    }) << QStringLiteral("Command table: it holds no commands: every command is refused");
}

void TableCheckTest::eachMistakeIsNamedOnce()
{
    QFETCH(Mistake, mistake);
    QFETCH(QString, warning);
    QJsonObject table = shippedTable();
    QVERIFY(!table.isEmpty());
    mistake(table);
    CommandHandler::TableLoad load;
    QCOMPARE(warningsOf(table, &load), warning.isEmpty() ? QStringList() : QStringList{warning});
    QCOMPARE(load.problems, warning.isEmpty() ? 0 : 1);
}

// A table of thousands of wrong entries must not flood the journal.
void TableCheckTest::manyProblemsAreBounded()
{
    QJsonObject table = shippedTable();
    for (int i = 0; i < 150; ++i) {
        setField(table, QStringLiteral("Stray%1").arg(i, 3, 10, QLatin1Char('0')), "category",
                 "PaperFeedCommandId");
    }
    CommandHandler::TableLoad load;
    const QStringList warnings = warningsOf(table, &load);
    QCOMPARE(load.problems, 150);
    QCOMPARE(warnings.size(), 101);
    QCOMPARE(warnings.first(), cannotWork("Stray000", "it is no command of PaperFeedCommandId"));
    QCOMPARE(warnings.last(), QStringLiteral("Command table: 50 more problems"));
}

QTEST_GUILESS_MAIN(TableCheckTest)
#include "tst_tablecheck.moc"
