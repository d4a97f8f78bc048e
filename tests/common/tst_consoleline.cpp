// The console's language as both front ends read it: the service's console (blanks only) and
// chctl's console mode (double quotes group an argument).
#include "ConsoleLine.h"

#include <QTest>

using Kind = ConsoleLine::Kind;
using Quoting = ConsoleLine::Quoting;
Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Quoting)

namespace {
const QVector<Quoting> service{Quoting::blanksOnly}, chctl{Quoting::doubleQuotes};
} // namespace

class ConsoleLineTest : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
};

void ConsoleLineTest::parse_data()
{
    QTest::addColumn<Quoting>("quoting");
    QTest::addColumn<QString>("line");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("number");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("refusal");
    // A row for both front ends unless it names one.
    const auto row = [&](const char* name, const QString& line, Kind kind, int number = 0,
                         const QStringList& arguments = {}, const QString& refusal = {},
                         const QVector<Quoting>& quotings = service + chctl) {
        for (const Quoting quoting : quotings) {
            QTest::addRow("%s, %s", name, quoting == Quoting::blanksOnly ? "service" : "chctl")
                << quoting << line << kind << number << arguments << refusal;
        }
    };
    row("empty", "", Kind::none);
    row("leading blank", " HELP C", Kind::none);
    row("another word", "print 202", Kind::none);
    row("main menu", "hElP \t c ", Kind::mainMenu);
    row("help command, words ignored", "helpme 102 x", Kind::help, 102);
    row("help alone", "HELP", Kind::refused, 0, {}, "No arguments received for help.");
    row("main menu and more", "HELP C 2", Kind::refused, 0, {},
        "Arguments must be of integer type!");
    row("help never unquotes", "HELP \"202\"", Kind::refused, 0, {},
        "Arguments must be of integer type!");
    row("run, blanks and tabs", "Cmd  202\t3 4 ", Kind::command, 202, {"3", "4"});
    row("C word", "Cancel", Kind::refused, 0, {}, "No arguments received for command action.");
    row("C fraction", "c 2.5 1", Kind::refused, 0, {}, "Commands must be of integer type!");
    row("quoted text", "C 500 \"Hello world\"", Kind::command, 500, {"\"Hello", "world\""}, {},
        service);
    row("quoted text", "C 500 \"Hello world\"", Kind::command, 500, {"Hello world"}, {}, chctl);
    row("quoted number", "C \"202\" 3", Kind::refused, 0, {}, "Commands must be of integer type!",
        service);
    row("quoted number", "C \"202\" 3", Kind::command, 202, {"3"}, {}, chctl);
}

void ConsoleLineTest::parse()
{
    QFETCH(Quoting, quoting);
    QFETCH(QString, line);
    const ConsoleLine request(line, quoting);
    QTEST(request.kind(), "kind");
    QTEST(request.number(), "number");
    QTEST(request.arguments(), "arguments");
    QTEST(request.refusal(), "refusal");
}

QTEST_APPLESS_MAIN(ConsoleLineTest)
#include "tst_consoleline.moc"
