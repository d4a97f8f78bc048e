// The command table checked as it is loaded: the shipped table with one mistake at a time, as a
// technician makes them, each named by exactly one warning, and the table still loaded. The
// client libraries are linked for the methods they offer; no sibling is asked.
#include "CommandHandler.h"
#include "DirectCarrier.h"
#include "LogCapture.h"
#include "TestBus.h"
#include "TestTools.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString cannotWork(const QString& entry, const QString& why)
{
    return QStringLiteral("Command table: \"%1\" cannot work: %2").arg(entry, why);
}

} // namespace

class TableCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void eachMistakeIsNamedOnce_data();
    void eachMistakeIsNamedOnce();
    void manyProblemsAreBounded();
    void farNameIsNoMisspelling();

private:
    // The warnings of loading the table, which must load.
    QStringList warningsOf(const QJsonObject& table, CommandHandler::TableLoad* load);

    QTemporaryDir m_directory;
    DirectCarrier m_carrier;
    CommandHandler m_handler{m_carrier};
};

QStringList TableCheckTest::warningsOf(const QJsonObject& table, CommandHandler::TableLoad* load)
{
    const QString path = m_directory.filePath(QStringLiteral("commandTable.json"));
    if (!writeFile(path, QJsonDocument(table).toJson())) {
        return {QStringLiteral("cannot write the table")};
    }
    LogCapture log;
    *load = m_handler.load(path);
    return load->loaded ? log.messages(QtWarningMsg) : QStringList{QStringLiteral("not loaded")};
}

void TableCheckTest::eachMistakeIsNamedOnce_data()
{
    QTest::addColumn<QJsonObject>("table");
    QTest::addColumn<QString>("warning");

    const QJsonObject shipped = TestBus::defaultTableWith();
    const auto with = [](const char* entry, const char* field, const QJsonValue& value) {
        return TestBus::defaultTableWith({{entry, field, value}});
    };
    QTest::newRow("shipped table") << shipped << QString();
    QTest::newRow("method misspelt")
        << with("FeedLines", "function", "feedLinez")
        << cannotWork("FeedLines",
                      "the client of com.vellorn.PrintManager has no method \"feedLinez\"");
    QTest::newRow("result type unknown")
        << with("GetPaperPosition", "returnType", "integer")
        << cannotWork("GetPaperPosition", "PaperFeedCommandId takes no result type \"integer\" "
                                          "(it takes void, int, bool)");
    QTest::newRow("category unknown")
        << with("SetCopies", "category", "EmbosCommandId")
        << cannotWork("SetCopies", "its category \"EmbosCommandId\" is no category of the service");
    QTest::newRow("count against types")
        << with("SetPaperLength", "argumentCount", 2)
        << cannotWork("SetPaperLength", "it counts 2 argument(s) and gives the types of 1");
    QJsonObject deleted = shipped;
    deleted.remove("StopSpeaking");
    QTest::newRow("entry deleted") << deleted
                                   << QStringLiteral("Command table: no entry for StopSpeaking "
                                                     "(501) of TestingCommandId: the command is "
                                                     "refused");
    // SelectDocument misspelt one and two letters off: taken for the command it was meant as.
    for (const char* misspelt : {"SelectDokument", "SelectDokumnt"}) {
        QJsonObject renamed = shipped;
        renamed.insert(misspelt, renamed.take("SelectDocument"));
        QTest::addRow("entry name %s", misspelt)
            << renamed
            << cannotWork(misspelt,
                          "it is no command of DocumentCommandId, which lacks \"SelectDocument\"");
    }
    QTest::newRow("a method only QObject offers")
        << with("EjectPaper", "function", "deleteLater")
        << cannotWork("EjectPaper",
                      "the client of com.vellorn.PrintManager has no method \"deleteLater\"");
    QTest::newRow("no function") << with("LoadPaper", "function", QJsonValue::Undefined)
                                 << cannotWork("LoadPaper", "it names no function");
    QTest::newRow("empty") << QJsonObject()
                           << QStringLiteral("Command table: it holds no commands: every command "
                                             "is refused");
}

void TableCheckTest::eachMistakeIsNamedOnce()
{
    QFETCH(QJsonObject, table);
    QFETCH(QString, warning);
    CommandHandler::TableLoad load;
    QCOMPARE(warningsOf(table, &load), warning.isEmpty() ? QStringList() : QStringList{warning});
    QCOMPARE(load.problems, warning.isEmpty() ? 0 : 1);
}

// A table of thousands of wrong entries must not flood the journal.
void TableCheckTest::manyProblemsAreBounded()
{
    QJsonObject table = TestBus::defaultTableWith();
    for (int i = 0; i < 150; ++i) {
        table.insert(QStringLiteral("Stray%1").arg(i, 3, 10, QLatin1Char('0')),
                     QJsonObject{{"category", "PaperFeedCommandId"}});
    }
    CommandHandler::TableLoad load;
    const QStringList warnings = warningsOf(table, &load);
    QCOMPARE(load.problems, 150);
    QCOMPARE(warnings.size(), 101);
    QCOMPARE(warnings.first(), cannotWork("Stray000", "it is no command of PaperFeedCommandId"));
    QCOMPARE(warnings.last(), QStringLiteral("Command table: 50 more problems"));
}

// A name far from every command the table lacks is taken for no misspelling: the entry and the
// lacking command have a line each, so that neither hides the other.
void TableCheckTest::farNameIsNoMisspelling()
{
    QJsonObject renamed = TestBus::defaultTableWith();
    renamed.insert("Document", renamed.take("SelectDocument"));
    CommandHandler::TableLoad load;
    QCOMPARE(warningsOf(renamed, &load),
             (QStringList{cannotWork("Document", "it is no command of DocumentCommandId"),
                          "Command table: no entry for SelectDocument (301) of DocumentCommandId: "
                          "the command is refused"}));
}

QTEST_GUILESS_MAIN(TableCheckTest)
#include "tst_tablecheck.moc"
