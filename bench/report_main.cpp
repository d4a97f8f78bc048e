// Runs every measurement of the command handler's performance evidence and prints one table:
// round trips and calls per second from concurrent client processes beside a bare Qt D-Bus
// service and beside the sibling called directly, readiness latency, resident memory and
// instructions per device command beside a minimal forwarder, each against a figure of the same
// run. Exit code: 0 when every target is met, 1 when one is missed, 2 when something could not
// be measured.

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
constexpr double besideSlowLimit = 0.8;
constexpr double memoryLimit = 1.3;
constexpr double feedShareLimit1 = 0.2;
constexpr double feedShareLimit16 = 0.1;
constexpr double mixShareLimit = 0.2;
constexpr double instructionsLimit = 1.5;
constexpr int slowSiblingDelayMs = 1000;
constexpr int besideSlowClients = 4;
constexpr int countedCalls = 1000;

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
                                 .arg(measure, -54)
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

// With one client a call waits for the one before it: the calls per second are one round trip's
// inverse, so bare / service is how much longer the service's round trip is.
void addRoundTrip(Report& report, const QString& label, const Spread& service, const Spread& bare,
                  double limit)
{
    const double slower = ratio(bare.median, service.median);
    report.row(label + QStringLiteral(" round trip, 1 client: service / bare"),
               compared(slower, service, QStringLiteral("bare"), bare.median),
               QStringLiteral("<= %1x").arg(limit),
               service.sound() && slower > 0.0 && slower <= limit);
}

// The service's calls/s as a share of the same calls' sibling methods called directly, by as
// many clients: what passing through the service leaves of what the siblings could answer.
void addDirectShare(Report& report, const QString& label, const Spread& service,
                    const Spread& direct, double limit)
{
    const double share = ratio(service.median, direct.median);
    report.row(label + QStringLiteral(": service / direct sibling"),
               compared(share, service, QStringLiteral("direct"), direct.median),
               QStringLiteral(">= %1x").arg(limit),
               service.sound() && direct.sound() && share >= limit);
}

void addOneClient(Report& report, BusBench& bench)
{
    const QString catalogue = QStringLiteral("categories");
    const QString feed = QStringLiteral("feed");
    const QVector<Spread> figures = measure(bench, {{{Side::Service, {catalogue}, 1}},
                                                    {{Side::Bare, {catalogue}, 1}},
                                                    {{Side::Service, {feed}, 1}},
                                                    {{Side::Bare, {feed}, 1}},
                                                    {{Side::Sibling, {feed}, 1}}});
    addRoundTrip(report, QStringLiteral("Catalogue"), figures[0], figures[1],
                 catalogueRoundTripLimit);
    addRoundTrip(report, QStringLiteral("Paper feed"), figures[2], figures[3],
                 paperFeedRoundTripLimit);
    addDirectShare(report, QStringLiteral("FeedLines, 1 client"), figures[2], figures[4],
                   feedShareLimit1);
}

void addThroughput(Report& report, BusBench& bench)
{
    const QString categories = QStringLiteral("categories");
    const QString feed = QStringLiteral("feed");
    const QStringList mixed{feed, QStringLiteral("documents"), QStringLiteral("settings"),
                            QStringLiteral("rate")};
    const QVector<Spread> figures = measure(bench, {{{Side::Service, {categories}, 16}},
                                                    {{Side::Bare, {categories}, 16}},
                                                    {{Side::Service, {feed}, 16}},
                                                    {{Side::Sibling, {feed}, 16}},
                                                    {{Side::Service, mixed, 16}},
                                                    {{Side::Sibling, mixed, 16}}});
    const double share = ratio(figures[0].median, figures[1].median);
    report.row(QStringLiteral("Catalogue, 16 clients: service / bare"),
               compared(share, figures[0], QStringLiteral("bare"), figures[1].median),
               QStringLiteral(">= %1x").arg(catalogueShareLimit),
               figures[0].sound() && share >= catalogueShareLimit);
    addDirectShare(report, QStringLiteral("FeedLines, 16 clients"), figures[2], figures[3],
                   feedShareLimit16);
    addDirectShare(report, QStringLiteral("Four-sibling mix, 16 clients"), figures[4], figures[5],
                   mixShareLimit);
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

// Callgrind's instructions per request: FeedLines in the service against a forwarder that only
// calls the print-manager and answers, so the ratio is what the service's own work adds, and the
// catalogue against the bare service. False when not measured.
bool addInstructions(Report& report, BusBench& bench)
{
    const BusBench::Instructions counted = bench.instructionsPerCall(countedCalls);
    const auto row = [&report](const QString& label, double service, double yardstick,
                               const QString& yardstickName) {
        const double ratio = service > 0.0 && yardstick > 0.0 ? service / yardstick : 0.0;
        report.row(label,
                   ratio > 0.0 ? QStringLiteral("%1x (%2k, %3 %4k; %5 calls)")
                                     .arg(ratio, 0, 'f', 2)
                                     .arg(service / 1000.0, 0, 'f', 1)
                                     .arg(yardstickName)
                                     .arg(yardstick / 1000.0, 0, 'f', 1)
                                     .arg(countedCalls)
                               : QStringLiteral("not measured"),
                   QStringLiteral("<= %1x").arg(instructionsLimit),
                   ratio > 0.0 && ratio <= instructionsLimit);
        return ratio > 0.0;
    };
    const bool measured = row(QStringLiteral("FeedLines instructions/call: service / forwarder"),
                              counted.feed, counted.forwarder, QStringLiteral("forwarder")) &
                          row(QStringLiteral("Catalogue instructions/call: service / bare"),
                              counted.catalogue, counted.bareCatalogue, QStringLiteral("bare"));
    if (!measured) {
        qCritical().noquote() << "bench:" << bench.problem();
    }
    return measured;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString loadBefore = loadAverage();
    qInfo().noquote() << QStringLiteral(
                             "Calls/s completed by concurrent client processes: median "
                             "(min..max) of %1 runs of %2 s. \"bare\": a plain Qt D-Bus service "
                             "answering with the service's reply; \"direct\": the sibling methods "
                             "behind the same commands, called without the service.")
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
    addOneClient(report, bench);
    addThroughput(report, bench);
    addBesideSlowSibling(report, bench);
    addReadiness(report, latencies);
    addMemory(report, bench);
    const bool counted = addInstructions(report, bench);
    qInfo().noquote() << QStringLiteral("Load average before %1, after %2 on %3 cores: other work "
                                        "on the machine makes bus figures noisy.")
                             .arg(loadBefore, loadAverage())
                             .arg(QThread::idealThreadCount());
    if (latencies.isEmpty()) {
        qCritical().noquote() << "bench:" << bench.problem();
        return 2;
    }
    return !counted ? 2 : report.misses > 0 ? 1 : 0;
}
