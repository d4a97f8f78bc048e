// The bench's own arithmetic, its generated tables and its file watch: a figure is only as good
// as the code that produced it.

#include "BusBench.h"
#include "CommandHandler.h"
#include "CommandTableGenerator.h"
#include "FileAppearance.h"
#include "LatencySamples.h"
#include "ProcessBenchRun.h"
#include "ReportTable.h"
#include "Verdict.h"
#include "ls/Enums.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class BenchSupportTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void percentiles_data();
    void percentiles();
    void callsPerSecond();
    void ratioVerdicts_data();
    void ratioVerdicts();
    void linearity_data();
    void linearity();
    void generatedTableIsListedInFull_data();
    void generatedTableIsListedInFull();
    void fileAppearance();
    void benchmarkReport();
    void reportCountsMisses();
    void busBenchMeasuresEveryKind();

private:
    QVariantMap catalogue(CommandHandler& handler, const QString& commandId,
                          const QString& category = QString());

    QTemporaryDir m_state;
};

void BenchSupportTest::initTestCase()
{
    QVERIFY(m_state.isValid());
    qputenv("STATE_DIRECTORY", m_state.path().toUtf8());
    QCOMPARE(CommandHandler::commandTablePath(),
             QDir(m_state.path()).filePath(QStringLiteral("commandTable.json")));
}

void BenchSupportTest::percentiles_data()
{
    QTest::addColumn<QVector<qint64>>("values");
    QTest::addColumn<double>("percent");
    QTest::addColumn<qint64>("expected");
    QVector<qint64> hundred;
    for (qint64 i = 100; i >= 1; --i) {
        hundred.append(i);
    }
    QTest::newRow("no samples") << QVector<qint64>{} << 50.0 << qint64(0);
    QTest::newRow("one sample") << QVector<qint64>{7} << 99.0 << qint64(7);
    QTest::newRow("odd median, unsorted") << QVector<qint64>{9, 1, 5} << 50.0 << qint64(5);
    QTest::newRow("even median is the lower middle")
        << QVector<qint64>{4, 1, 3, 2} << 50.0 << qint64(2);
    QTest::newRow("p99 of 1..100") << hundred << 99.0 << qint64(99);
    QTest::newRow("p100 is the largest") << hundred << 100.0 << qint64(100);
    QTest::newRow("p0 is the smallest") << hundred << 0.0 << qint64(1);
}

void BenchSupportTest::percentiles()
{
    QFETCH(QVector<qint64>, values);
    QFETCH(double, percent);
    QFETCH(qint64, expected);
    LatencySamples samples;
    for (qint64 value : values) {
        samples.add(value);
    }
    QCOMPARE(samples.percentile(percent), expected);
}

void BenchSupportTest::callsPerSecond()
{
    LatencySamples samples;
    QCOMPARE(samples.callsPerSecond(), 0.0);
    samples.add(250000);
    samples.add(250000);
    samples.add(900000);
    QCOMPARE(samples.callsPerSecond(), 4000.0);
}

void BenchSupportTest::ratioVerdicts_data()
{
    QTest::addColumn<double>("measured");
    QTest::addColumn<double>("baseline");
    QTest::addColumn<double>("limit");
    QTest::addColumn<bool>("met");
    QTest::newRow("below") << 110.0 << 100.0 << 1.15 << true;
    QTest::newRow("exactly at the limit") << 230.0 << 100.0 << 2.3 << true;
    QTest::newRow("above") << 116.0 << 100.0 << 1.15 << false;
    QTest::newRow("no baseline") << 100.0 << 0.0 << 1.15 << false;
    QTest::newRow("no measurement") << 0.0 << 100.0 << 1.15 << false;
}

void BenchSupportTest::ratioVerdicts()
{
    QFETCH(double, measured);
    QFETCH(double, baseline);
    QFETCH(double, limit);
    QFETCH(bool, met);
    QCOMPARE(Verdict::withinRatio(measured, baseline, limit), met);
    QCOMPARE(Verdict::word(met), met ? QStringLiteral("PASS") : QStringLiteral("MISS"));
}

void BenchSupportTest::linearity_data()
{
    QTest::addColumn<double>("smaller");
    QTest::addColumn<double>("larger");
    QTest::addColumn<bool>("linear");
    QTest::newRow("same cost per command") << 40.0 << 40.0 << true;
    QTest::newRow("cheaper per command") << 40.0 << 25.0 << true;
    QTest::newRow("log factor") << 40.0 << 55.0 << true;
    QTest::newRow("quadratic") << 40.0 << 400.0 << false;
}

void BenchSupportTest::linearity()
{
    QFETCH(double, smaller);
    QFETCH(double, larger);
    QFETCH(bool, linear);
    QCOMPARE(Verdict::isLinear(smaller, larger, 2.0), linear);
}

QVariantMap BenchSupportTest::catalogue(CommandHandler& handler, const QString& commandId,
                                        const QString& category)
{
    QVariantMap request{{ls::commandIdKey, commandId}, {ls::senderIdKey, ls::ServiceId::WebServer}};
    if (!category.isEmpty()) {
        request.insert(ls::categoryKey, category);
    }
    return handler.process(request);
}

void BenchSupportTest::generatedTableIsListedInFull_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("10") << 10;
    QTest::newRow("1000") << 1000;
}

// The scaling figures mean something only if the handler really lists every generated command.
void BenchSupportTest::generatedTableIsListedInFull()
{
    QFETCH(int, size);
    QFile table(CommandHandler::commandTablePath());
    QVERIFY(table.open(QIODevice::WriteOnly | QIODevice::Truncate));
    table.write(CommandTableGenerator::generate(size));
    table.close();
    auto handler = std::make_unique<CommandHandler>();
    handler->initialize();

    const QVariantList categories =
        catalogue(*handler, ls::CommandHandlerCmdId::GetCommandCategories)
            .value(ls::commandCategoriesKey)
            .toList();
    QCOMPARE(categories.size(), CommandTableGenerator::categoryCount());
    int listed = 0;
    int withArguments = 0;
    for (const QVariant& category : categories) {
        const QString name = category.toMap().value(ls::idKey).toString();
        const QVariantList commands =
            catalogue(*handler, ls::CommandHandlerCmdId::GetCommands, name)
                .value(ls::commandsKey)
                .toList();
        listed += commands.size();
        for (const QVariant& command : commands) {
            withArguments += command.toMap().value(ls::argumentCountKey).toInt() == 2 ? 1 : 0;
        }
    }
    QCOMPARE(listed, size);
    QCOMPARE(withArguments, (size + 2) / 3);
    QCOMPARE(CommandTableGenerator::categoryOf(0), CommandTableGenerator::categoryOf(6));
}

void BenchSupportTest::fileAppearance()
{
    QTemporaryDir directory;
    const FileAppearance watch(directory.path());
    QVERIFY(watch.isValid());
    QCOMPARE(watch.waitFor(QStringLiteral("absent.ready"), 30), qint64(-1));

    // Renamed into place, as the readiness registry writes its files.
    QSaveFile file(QDir(directory.path()).filePath(QStringLiteral("late.ready")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const qint64 before = FileAppearance::now();
    QVERIFY(file.commit());
    const qint64 seen = watch.waitFor(QStringLiteral("late.ready"), 5000);
    QVERIFY2(seen >= before, "the renamed file was not seen");
    QVERIFY(watch.waitFor(QStringLiteral("late.ready"), 0) >= seen);
}

// The parts of Google Benchmark's JSON report that the table relies on: units, the median of a
// repeated benchmark standing for it, the bare NaN it writes for a counter's variation, and a
// benchmark that gave up.
void BenchSupportTest::benchmarkReport()
{
    const QByteArray json = R"({"benchmarks": [
        {"name": "Plain", "run_name": "Plain", "run_type": "iteration", "cpu_time": 2.5,
         "time_unit": "us", "log_lines": 3},
        {"name": "Big/10/repeats:3_mean", "run_name": "Big/10/repeats:3",
         "run_type": "aggregate", "aggregate_name": "mean", "cpu_time": 9.0, "time_unit": "ms"},
        {"name": "Big/10/repeats:3_median", "run_name": "Big/10/repeats:3",
         "run_type": "aggregate", "aggregate_name": "median", "cpu_time": 7.0, "time_unit": "ms"},
        {"name": "Big/10/repeats:3_stddev", "run_name": "Big/10/repeats:3",
         "run_type": "aggregate", "aggregate_name": "stddev", "cpu_time": 1.0, "time_unit": "ms"},
        {"name": "Big/10/repeats:3_cv", "run_name": "Big/10/repeats:3", "run_type": "aggregate",
         "aggregate_name": "cv", "cpu_time": 0.1, "time_unit": "ms", "log_lines": NaN},
        {"name": "Broken", "run_name": "Broken", "run_type": "iteration", "error_occurred": true,
         "error_message": "unexpected reply Failure/InvalidCmd", "cpu_time": 0, "time_unit": "ns"}
    ]})";
    ProcessBenchRun run;
    QVERIFY(run.parse(json));
    QCOMPARE(run.names(), (QStringList{"Plain", "Big/10", "Broken"}));
    QCOMPARE(run.result("Plain").cpuNanoseconds, 2500.0);
    QCOMPARE(run.result("Plain").logLines, 3.0);
    QCOMPARE(run.result("Big/10").cpuNanoseconds, 7e6);
    QCOMPARE(run.result("Broken").error, QStringLiteral("unexpected reply Failure/InvalidCmd"));
    QVERIFY(!ProcessBenchRun().parse("not json"));
}

// The exit code of the report rests on this count.
void BenchSupportTest::reportCountsMisses()
{
    ReportTable table;
    table.addSection("Section");
    table.addRow("informative", "1 us");
    table.addRow("met", "1 us", "<= 2 us", Verdict::word(true));
    QCOMPARE(table.misses(), 0);
    table.addRow("missed", "3 us", "<= 2 us", Verdict::word(false));
    table.addRow("not measured", "-", "<= 2 us", Verdict::word(false));
    QCOMPARE(table.misses(), 2);
    QCOMPARE(ReportTable::micro(1234.0), QStringLiteral("1.23 us"));
    QCOMPARE(ReportTable::milli(2.5e6), QStringLiteral("2.50 ms"));
}

// A short run of the real processes: every kind answers, the primed bare service really answers
// with the service's reply (an echo would count as a failed reply), and the readiness and memory
// figures come out.
void BenchSupportTest::busBenchMeasuresEveryKind()
{
    BusBench bench;
    QVERIFY2(bench.start(), qPrintable(bench.problem()));
    const QVector<qint64> latencies = bench.measureReadiness(1);
    QCOMPARE(latencies.size(), 1);
    QVERIFY(latencies.constFirst() > 0);
    QVERIFY2(bench.startServices(), qPrintable(bench.problem()));

    const QVector<BusBench::RoundTrip> trips = bench.measureRoundTrips(44, 2);
    QCOMPARE(trips.size(), 4);
    for (const BusBench::RoundTrip& trip : trips) {
        QCOMPARE(trip.failedReplies, 0);
        QCOMPARE(trip.service.count(), 8);
        QCOMPARE(trip.bare.count(), 8);
        QCOMPARE(trip.bareSameReply.count(), 8);
        QVERIFY(trip.service.median() > 0);
    }
    QVERIFY(bench.serviceResidentKb() > 0);
    QVERIFY(bench.bareResidentKb() > 0);
}

QTEST_GUILESS_MAIN(BenchSupportTest)
#include "tst_bench_support.moc"
