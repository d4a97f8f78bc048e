// Runs every measurement of the command handler's performance evidence and prints one table:
// round trips and calls per second from concurrent client processes beside a bare Qt D-Bus
// service, readiness latency and resident memory, each against its target. Exit code: 0 when
// every target is met, 1 when one is missed, 2 when something could not be measured.

#include "BusBench.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QtDebug>

#include <algorithm>

namespace {

using Side = BusBench::Side;

constexpr int runs = 3;
constexpr int windowMs = 2000;
constexpr int readinessRuns = 7;
constexpr double readinessLimitMs = 50.0;
constexpr double catalogueRoundTripLimit = 1.15;
constexpr double paperFeedRoundTripLimit = 2.3;
constexpr double catalogueShareLimit = 0.9;
constexpr double mixGainLimit = 2.0;
constexpr double besideSlowLimit = 0.8;
constexpr double memoryLimit = 1.3;
constexpr int slowSiblingDelayMs = 1000;
constexpr int besideSlowClients = 4;
// Measured with the same bench before device commands had lanes of their own (every command ran
// on the main thread), on a 2-core machine at a load average of 4 to 6: paper feed and the
// four-sibling mix at 16 clients, calls/s, the median of three runs of the report. Another
// machine gets its own figures with BENCH_SERVICE_BINARY pointing at such a build.
constexpr double paperFeedBeforeLanes = 2451.0;
constexpr double mixBeforeLanes = 2181.0;

// Calls per second over the runs of one variant.
struct Spread {
    double median = -1.0;
    double low = -1.0;
    double high = -1.0;
    int failed = 0;

    bool sound() const { return failed == 0 && median > 0.0; }
    QString text() const
    {
        return QStringLiteral("%1/s (%2..%3)%4")
            .arg(median, 0, 'f', 0)
            .arg(low, 0, 'f', 0)
            .arg(high, 0, 'f', 0)
            .arg(failed > 0 ? QStringLiteral(" %1 FAILED").arg(failed) : QString());
    }
};

// The table, printed row by row as the figures come in.
struct Report {
    int misses = 0;

    void row(const QString& measure, const QString& result, const QString& target, bool met)
    {
        misses += met ? 0 : 1;
        qInfo().noquote() << QStringLiteral("| %1 | %2 | %3 | %4 |")
                                 .arg(measure, -48)
                                 .arg(result, -44)
                                 .arg(target, -9)
                                 .arg(met ? "PASS" : "MISS");
    }
};

double ratio(double measured, double baseline)
{
    return measured > 0.0 && baseline > 0.0 ? measured / baseline : 0.0;
}

// "1.13x (4113/s (3702..4770), bare 4667/s)"
QString compared(double ratio, const Spread& measured, const QString& other, double otherFigure)
{
    return QStringLiteral("%1x (%2, %3 %4/s)")
        .arg(ratio, 0, 'f', 2)
        .arg(measured.text(), other)
        .arg(otherFigure, 0, 'f', 0);
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2)
               : QStringLiteral("?");
}

// The runs of the variants alternate, so that a change in the machine's load meets all of them.
QVector<Spread> measure(BusBench& bench, const QVector<QVector<BusBench::Load>>& variants)
{
    QVector<QVector<double>> figures(variants.size());
    QVector<Spread> spreads(variants.size());
    for (int run = 0; run < runs; ++run) {
        for (int v = 0; v < variants.size(); ++v) {
            figures[v].append(bench.throughput(variants.at(v), windowMs, &spreads[v].failed));
        }
    }
    for (int v = 0; v < variants.size(); ++v) {
        std::sort(figures[v].begin(), figures[v].end());
        spreads[v].median = figures[v].at(runs / 2);
        spreads[v].low = figures[v].constFirst();
        spreads[v].high = figures[v].constLast();
    }
    return spreads;
}

// The same request from the service and from the bare service answering with its reply.
QVector<Spread> besideBare(BusBench& bench, const QString& request, int clients)
{
    return measure(bench,
                   {{{Side::Service, {request}, clients}}, {{Side::Bare, {request}, clients}}});
}

// With one client a call waits for the one before it: the calls per second are one round trip's
// inverse, so bare / service is how much longer the service's round trip is.
void addRoundTrip(Report& report, BusBench& bench, const QString& label, const QString& request,
                  double limit)
{
    const QVector<Spread> figures = besideBare(bench, request, 1);
    const double slower = ratio(figures[1].median, figures[0].median);
    report.row(label + QStringLiteral(" round trip, 1 client: service / bare"),
               compared(slower, figures[0], QStringLiteral("bare"), figures[1].median),
               QStringLiteral("<= %1x").arg(limit),
               figures[0].sound() && slower > 0.0 && slower <= limit);
}

void addThroughput(Report& report, BusBench& bench)
{
    const QVector<Spread> catalogue = besideBare(bench, QStringLiteral("categories"), 16);
    const double share = ratio(catalogue[0].median, catalogue[1].median);
    report.row(QStringLiteral("Catalogue, 16 clients: service / bare"),
               compared(share, catalogue[0], QStringLiteral("bare"), catalogue[1].median),
               QStringLiteral(">= %1x").arg(catalogueShareLimit),
               catalogue[0].sound() && share >= catalogueShareLimit);

    const QStringList mixed{QStringLiteral("feed"), QStringLiteral("documents"),
                            QStringLiteral("settings"), QStringLiteral("rate")};
    const QVector<Spread> device = measure(
        bench, {{{Side::Service, {QStringLiteral("feed")}, 16}}, {{Side::Service, mixed, 16}}});
    const double feedGain = ratio(device[0].median, paperFeedBeforeLanes);
    report.row(QStringLiteral("Paper feed, 16 clients: vs before lanes"),
               compared(feedGain, device[0], QStringLiteral("before"), paperFeedBeforeLanes),
               QStringLiteral(">= 1x"), device[0].sound() && feedGain >= 1.0);
    const double mixGain = ratio(device[1].median, mixBeforeLanes);
    report.row(QStringLiteral("Four-sibling mix, 16 clients: vs before lanes"),
               compared(mixGain, device[1], QStringLiteral("before"), mixBeforeLanes),
               QStringLiteral(">= %1x").arg(mixGainLimit),
               device[1].sound() && mixGain >= mixGainLimit);
}

void addBesideSlowSibling(Report& report, BusBench& bench)
{
    const QString speech = QStringLiteral("com.vellorn.Speech");
    const BusBench::Load catalogue{
        Side::Service, {QStringLiteral("categories")}, besideSlowClients};
    const Spread alone = measure(bench, {{catalogue}}).constFirst();
    const bool slowed = bench.setSiblingDelay(speech, slowSiblingDelayMs);
    const Spread beside =
        measure(bench, {{catalogue, {Side::Service, {QStringLiteral("rate")}, 1, false}}})
            .constFirst();
    bench.setSiblingDelay(speech, 0);
    const double kept = ratio(beside.median, alone.median);
    report.row(QStringLiteral("Catalogue, %1 clients beside %2 s speech: / alone")
                   .arg(besideSlowClients)
                   .arg(slowSiblingDelayMs / 1000),
               compared(kept, beside, QStringLiteral("alone"), alone.median),
               QStringLiteral(">= %1x").arg(besideSlowLimit),
               slowed && beside.sound() && kept >= besideSlowLimit);
}

void addReadiness(Report& report, QVector<qint64> latencies)
{
    std::sort(latencies.begin(), latencies.end());
    const auto ms = [](qint64 ns) { return QString::number(ns / 1e6, 'f', 2); };
    const double median = latencies.isEmpty() ? -1.0 : latencies.at(latencies.size() / 2) / 1e6;
    report.row(QStringLiteral("Last sibling ready -> command-handler.ready"),
               latencies.isEmpty()
                   ? QStringLiteral("not measured")
                   : QStringLiteral("median %1 ms (%2 runs, %3 .. %4)")
                         .arg(median, 0, 'f', 2)
                         .arg(latencies.size())
                         .arg(ms(latencies.constFirst()), ms(latencies.constLast())),
               QStringLiteral("<= %1 ms").arg(readinessLimitMs),
               median >= 0.0 && median <= readinessLimitMs);
}

void addMemory(Report& report, const BusBench& bench)
{
    const qint64 service = bench.residentKb(Side::Service);
    const qint64 bare = bench.residentKb(Side::Bare);
    const double share = ratio(service, bare);
    report.row(
        QStringLiteral("VmRSS after the throughput runs: service / bare"),
        QStringLiteral("%1x (%2 kB, bare %3 kB)").arg(share, 0, 'f', 2).arg(service).arg(bare),
        QStringLiteral("<= %1x").arg(memoryLimit), share > 0.0 && share <= memoryLimit);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString loadBefore = loadAverage();
    qInfo().noquote() << QStringLiteral(
                             "Calls/s completed by concurrent client processes: median "
                             "(min..max) of %1 runs of %2 s. \"bare\": a plain Qt D-Bus service "
                             "answering with the service's reply.")
                             .arg(runs)
                             .arg(windowMs / 1000);
    BusBench bench;
    if (!bench.start()) {
        qCritical().noquote() << "bench:" << bench.problem();
        return 2;
    }
    const QVector<qint64> latencies = bench.measureReadiness(readinessRuns);
    if (!bench.startServices()) {
        qCritical().noquote() << "bench:" << bench.problem();
        return 2;
    }
    Report report;
    addRoundTrip(report, bench, QStringLiteral("Catalogue"), QStringLiteral("categories"),
                 catalogueRoundTripLimit);
    addRoundTrip(report, bench, QStringLiteral("Paper feed"), QStringLiteral("feed"),
                 paperFeedRoundTripLimit);
    addThroughput(report, bench);
    addBesideSlowSibling(report, bench);
    addReadiness(report, latencies);
    addMemory(report, bench);
    qInfo().noquote() << QStringLiteral("Load average before %1, after %2 on %3 cores: other work "
                                        "on the machine makes bus figures noisy.")
                             .arg(loadBefore, loadAverage())
                             .arg(QThread::idealThreadCount());
    if (latencies.isEmpty()) {
        qCritical().noquote() << "bench:" << bench.problem();
        return 2;
    }
    return report.misses > 0 ? 1 : 0;
}
