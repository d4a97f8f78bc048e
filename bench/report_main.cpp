// Runs every measurement of the command handler's performance evidence and prints one table:
// calls per second from concurrent client processes beside a bare Qt D-Bus service (with one
// client, the round trip), readiness latency and resident memory, each against its target.
// Exit code: 0 when every target is met, 1 when one is missed, 2 when something could not be
// measured.

#include "BusBench.h"
#include "ReportTable.h"
#include "Verdict.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QtDebug>

#include <algorithm>

namespace {

constexpr int readinessRuns = 7;
constexpr double categoriesLimit = 1.15;
constexpr double paperFeedLimit = 2.3;
constexpr double memoryLimit = 1.3;
constexpr double readinessLimitNs = 50e6;
constexpr int throughputRuns = 3;
constexpr int throughputWindowMs = 2000;
const int clientCounts[] = {1, 4, 16};
constexpr int slowSiblingDelayMs = 1000;
constexpr int besideSlowClients = 4;
constexpr double catalogueShareLimit = 0.9;
constexpr double besideSlowLimit = 0.8;
constexpr double mixGainLimit = 2.0;
// Measured with the same bench before device commands had lanes of their own (every command ran
// on the main thread), on a 2-core machine at a load average of 4 to 6: paper feed and the
// four-sibling mix at 16 clients, calls/s, the median of three runs of the report. Another
// machine gets its own figures with BENCH_SERVICE_BINARY pointing at such a build.
constexpr double paperFeedBeforeLanes = 2451.0;
constexpr double mixBeforeLanes = 2181.0;
const QString speechBusName = QStringLiteral("com.vellorn.Speech");

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2)
               : QStringLiteral("?");
}

QString ratioText(double ratio)
{
    return QStringLiteral("%1x").arg(ratio, 0, 'f', 2);
}

void addReadiness(ReportTable& table, QVector<qint64> latencies)
{
    table.addSection(QStringLiteral("Readiness and memory"));
    if (latencies.isEmpty()) {
        table.addRow(QStringLiteral("Last sibling ready -> command-handler.ready"),
                     QStringLiteral("not measured"), QStringLiteral("<= 50 ms"),
                     Verdict::word(false));
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies.at(latencies.size() / 2);
    table.addRow(QStringLiteral("Last sibling ready -> command-handler.ready"),
                 QStringLiteral("median %1 (%2 runs, %3 .. %4)")
                     .arg(ReportTable::milli(median))
                     .arg(latencies.size())
                     .arg(ReportTable::milli(latencies.constFirst()),
                          ReportTable::milli(latencies.constLast())),
                 QStringLiteral("<= 50 ms"), Verdict::word(median <= readinessLimitNs));
}

struct Spread {
    double median = -1.0;
    double low = -1.0;
    double high = -1.0;
    int failed = 0;
};

void addMemory(ReportTable& table, qint64 serviceKb, qint64 bareKb)
{
    table.addRow(QStringLiteral("VmRSS after the throughput runs"),
                 QStringLiteral("service %1 kB, bare %2 kB: %3")
                     .arg(serviceKb)
                     .arg(bareKb)
                     .arg(ratioText(Verdict::ratio(serviceKb, bareKb))),
                 QStringLiteral("<= %1x bare").arg(memoryLimit),
                 Verdict::word(Verdict::withinRatio(serviceKb, bareKb, memoryLimit)));
}

// With one client a call waits for the one before it: the time per call is one round trip.
void addRoundTrip(ReportTable& table, const QString& label, const Spread& service,
                  const Spread& bare, double limit)
{
    const double ratio = Verdict::ratio(bare.median, service.median);
    table.addRow(label + QStringLiteral(", 1 client: round trip, service / bare"), ratioText(ratio),
                 QStringLiteral("<= %1x bare").arg(limit),
                 Verdict::word(service.failed == 0 && ratio > 0.0 && ratio <= limit));
}

// The runs of the variants alternate, so that a change in the machine's load meets all of them.
QVector<Spread> measureSpreads(BusBench& bench, const QVector<QVector<BusBench::Load>>& variants)
{
    QVector<QVector<double>> runs(variants.size());
    QVector<Spread> spreads(variants.size());
    for (int run = 0; run < throughputRuns; ++run) {
        for (int v = 0; v < variants.size(); ++v) {
            runs[v].append(
                bench.throughput(variants.at(v), throughputWindowMs, &spreads[v].failed));
        }
    }
    for (int v = 0; v < variants.size(); ++v) {
        std::sort(runs[v].begin(), runs[v].end());
        spreads[v].median = runs[v].at(runs[v].size() / 2);
        spreads[v].low = runs[v].constFirst();
        spreads[v].high = runs[v].constLast();
    }
    return spreads;
}

Spread measureSpread(BusBench& bench, const QVector<BusBench::Load>& loads)
{
    return measureSpreads(bench, {loads}).constFirst();
}

QString spreadText(const Spread& spread)
{
    QString text = QStringLiteral("%1/s (%2..%3)")
                       .arg(spread.median, 0, 'f', 0)
                       .arg(spread.low, 0, 'f', 0)
                       .arg(spread.high, 0, 'f', 0);
    if (spread.failed > 0) {
        text += QStringLiteral(", %1 FAILED calls").arg(spread.failed);
    }
    return text;
}

bool atLeast(const Spread& measured, double times, double baseline)
{
    return measured.failed == 0 && measured.median > 0.0 && measured.median >= times * baseline;
}

// Service and bare service side by side for one kind of request: the service's figure, then the
// bare one's.
QPair<Spread, Spread> addSideBySide(ReportTable& table, BusBench& bench, const QString& label,
                                    const QStringList& requests, int clients, BusBench::Side bare)
{
    const QVector<Spread> spreads = measureSpreads(
        bench, {{{BusBench::Side::Service, requests, clients}}, {{bare, requests, clients}}});
    const Spread& service = spreads.at(0);
    const Spread& yardstick = spreads.at(1);
    table.addRow(QStringLiteral("%1, %2 clients: service").arg(label).arg(clients),
                 spreadText(service));
    table.addRow(QStringLiteral("%1, %2 clients: bare%3")
                     .arg(label)
                     .arg(clients)
                     .arg(bare == BusBench::Side::BareSameReply ? ", same reply" : ", echo"),
                 QStringLiteral("%1; service %2")
                     .arg(spreadText(yardstick),
                          ratioText(Verdict::ratio(service.median, yardstick.median))));
    return {service, yardstick};
}

void addThroughput(ReportTable& table, BusBench& bench)
{
    table.addSection(QStringLiteral("Throughput: calls/s completed by concurrent client "
                                    "processes, median (min..max) of %1 runs of %2 s")
                         .arg(throughputRuns)
                         .arg(throughputWindowMs / 1000));
    using Side = BusBench::Side;
    const QStringList catalogue{QStringLiteral("categories")};
    const QStringList feed{QStringLiteral("feed")};
    const QStringList mix{QStringLiteral("feed"), QStringLiteral("documents"),
                          QStringLiteral("settings"), QStringLiteral("rate")};
    for (int clients : clientCounts) {
        const auto [service, bare] = addSideBySide(table, bench, QStringLiteral("Catalogue"),
                                                   catalogue, clients, Side::BareSameReply);
        if (clients == 1) {
            addRoundTrip(table, QStringLiteral("Catalogue"), service, bare, categoriesLimit);
        }
        if (clients == 16) {
            table.addRow(QStringLiteral("Catalogue, 16 clients: service / bare, same reply"),
                         ratioText(Verdict::ratio(service.median, bare.median)),
                         QStringLiteral(">= %1x bare").arg(catalogueShareLimit),
                         Verdict::word(atLeast(service, catalogueShareLimit, bare.median)));
        }
    }
    for (int clients : clientCounts) {
        const auto [service, bare] = addSideBySide(table, bench, QStringLiteral("Paper feed 202"),
                                                   feed, clients, Side::BareEcho);
        if (clients == 1) {
            addRoundTrip(table, QStringLiteral("Paper feed 202"), service, bare, paperFeedLimit);
        }
        if (clients == 16) {
            table.addRow(QStringLiteral("Paper feed 202, 16 clients: vs before lanes"),
                         QStringLiteral("before %1/s").arg(paperFeedBeforeLanes, 0, 'f', 0),
                         QStringLiteral(">= before"),
                         Verdict::word(atLeast(service, 1.0, paperFeedBeforeLanes)));
        }
    }
    const Spread mixed =
        addSideBySide(table, bench, QStringLiteral("Four-sibling mix"), mix, 16, Side::BareEcho)
            .first;
    table.addRow(QStringLiteral("Four-sibling mix, 16 clients: vs before lanes"),
                 QStringLiteral("before %1/s: %2")
                     .arg(mixBeforeLanes, 0, 'f', 0)
                     .arg(ratioText(Verdict::ratio(mixed.median, mixBeforeLanes))),
                 QStringLiteral(">= %1x before").arg(mixGainLimit),
                 Verdict::word(atLeast(mixed, mixGainLimit, mixBeforeLanes)));

    const QVector<BusBench::Load> alone{{Side::Service, catalogue, besideSlowClients}};
    const Spread catalogueAlone = measureSpread(bench, alone);
    const bool slowed = bench.setSiblingDelay(speechBusName, slowSiblingDelayMs);
    const Spread besideSlow = measureSpread(
        bench, {alone.constFirst(), {Side::Service, {QStringLiteral("rate")}, 1, false}});
    bench.setSiblingDelay(speechBusName, 0);
    table.addRow(QStringLiteral("Catalogue, %1 clients, alone").arg(besideSlowClients),
                 spreadText(catalogueAlone));
    table.addRow(
        QStringLiteral("Catalogue, %1 clients, beside speech at %2 s per call")
            .arg(besideSlowClients)
            .arg(slowSiblingDelayMs / 1000),
        QStringLiteral("%1; %2 alone")
            .arg(spreadText(besideSlow),
                 ratioText(Verdict::ratio(besideSlow.median, catalogueAlone.median))),
        QStringLiteral(">= %1x alone").arg(besideSlowLimit),
        Verdict::word(slowed && atLeast(besideSlow, besideSlowLimit, catalogueAlone.median)));
}

bool measureOnBus(ReportTable& table)
{
    BusBench bench;
    if (!bench.start()) {
        qCritical().noquote() << "bench:" << bench.problem();
        return false;
    }
    qInfo() << "bench: readiness latency," << readinessRuns << "service starts";
    const QVector<qint64> latencies = bench.measureReadiness(readinessRuns);
    if (!bench.startServices() || !bench.primeBare()) {
        qCritical().noquote() << "bench:" << bench.problem();
        return false;
    }
    qInfo() << "bench: throughput with concurrent client processes";
    addThroughput(table, bench);
    addReadiness(table, latencies);
    addMemory(table, bench.serviceResidentKb(), bench.bareResidentKb());
    return latencies.size() == readinessRuns;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ReportTable table;
    const QString loadBefore = loadAverage();

    const bool measured = measureOnBus(table);

    table.addNote(QStringLiteral("load average before %1, after %2 on %3 cores: other work on "
                                 "the machine makes bus figures noisy")
                      .arg(loadBefore, loadAverage())
                      .arg(QThread::idealThreadCount()));
    table.addNote(QStringLiteral("\"same reply\": a second bare service answers with the "
                                 "service's reply, leaving only the service's own work in the "
                                 "difference"));
    table.print();
    if (!measured) {
        return 2;
    }
    return table.misses() > 0 ? 1 : 0;
}
