#include "BusBench.h"

#include "BenchRequests.h"
#include "ServiceProcess.h"
#include "ServiceWatcher.h"
#include "TestBus.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusMessage>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const QString serviceName = QStringLiteral("com.vellorn.CommandHandler");
const QString bareName = QStringLiteral("com.vellorn.BareBench");
const QString forwarderName = QStringLiteral("com.vellorn.ForwardBench");
const QString readinessName = QStringLiteral("command-handler");
constexpr int startTimeoutMs = 15000;
constexpr int callTimeoutMs = 10000;
// Time for every load client to start and connect before the common window opens.
constexpr int loadStartDelayMs = 1500;
constexpr int loadFinishGraceMs = 30000;
// Callgrind runs a program some fifty times slower: Qt's start alone takes seconds, more on a
// busy machine.
constexpr int callgrindTimeoutMs = 180000;
// Sent before the counted requests in both runs of a program, so that what the first requests
// set up (the service's sibling client, the bus's name lookups) is no part of a call's cost.
constexpr int warmUpCalls = 10;

// Another build of the service can be measured with the same bench, for a before and after.
QString serviceBinary()
{
    return qEnvironmentVariable("BENCH_SERVICE_BINARY", QStringLiteral(COMMAND_HANDLER_BINARY));
}

} // namespace

BusBench::BusBench(QObject* parent) : QObject(parent), m_bus(new TestBus(this)) {}

bool BusBench::fail(const QString& problem)
{
    m_problem = problem;
    return false;
}

bool BusBench::start()
{
    return m_bus->start() || fail(QStringLiteral("no private bus"));
}

// Owned by the bus object, which stops them before its daemon.
ServiceProcess* BusBench::startOnBus(const QString& program, const QStringList& arguments,
                                     const QProcessEnvironment& environment)
{
    auto* process = new ServiceProcess(m_bus);
    process->setProcessEnvironment(environment);
    process->start(program, arguments);
    process->waitForStarted(startTimeoutMs);
    return process;
}

qint64 BusBench::readinessOnce()
{
    const QStringList& siblings = TestBus::siblingReadinessNames;
    m_bus->markSiblingsReady(false);
    ServiceWatcher::setReady(readinessName, false);
    for (int i = 0; i + 1 < siblings.size(); ++i) {
        ServiceWatcher::setReady(siblings.at(i), true);
    }
    ServiceProcess* service = m_bus->startService();
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 latency = -1;
    // The service says so once it watches the readiness directory.
    if (service->waitForOutput(QStringLiteral("Waiting for sibling services"), startTimeoutMs)) {
        QFileSystemWatcher watcher({m_bus->watcherDirectory()});
        connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
            if (ServiceWatcher::isReady(readinessName)) {
                latency = clock.nsecsElapsed();
                loop.quit();
            }
        });
        QTimer::singleShot(callTimeoutMs, &loop, &QEventLoop::quit);
        clock.start();
        ServiceWatcher::setReady(siblings.constLast(), true);
        loop.exec();
    }
    delete service;
    return latency;
}

QVector<qint64> BusBench::measureReadiness(int runs)
{
    QVector<qint64> latencies;
    for (int run = 0; run < runs; ++run) {
        latencies.append(readinessOnce());
        if (latencies.constLast() < 0) {
            fail(QStringLiteral("the service did not announce itself ready (run %1)").arg(run));
            return {};
        }
    }
    return latencies;
}

bool BusBench::startServices()
{
    m_bus->markSiblingsReady(false);
    ServiceWatcher::setReady(readinessName, false);
    // The simulators log every call, into a pipe nobody reads while the bench waits on its
    // clients: a full pipe would stall them.
    QProcessEnvironment quiet = QProcessEnvironment::systemEnvironment();
    quiet.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.info=false"));
    for (const char* sibling :
         {"print-manager", "document-manager", "configuration-manager", "speech"}) {
        startOnBus(QStringLiteral(SIBLING_SIMULATOR_BINARY), {QString::fromLatin1(sibling)}, quiet);
    }
    for (const QString& name : TestBus::siblingReadinessNames) {
        if (!m_bus->waitForReady(name, startTimeoutMs)) {
            return fail(QStringLiteral("simulator %1 not ready").arg(name));
        }
    }
    m_service = startOnBus(serviceBinary());
    if (!m_bus->waitForBusName(serviceName, startTimeoutMs)) {
        return fail(QStringLiteral("the service did not come up: ") + m_service->output());
    }
    // The bare service learns the service's replies to the requests the bench compares.
    m_bare = startOnBus(QStringLiteral(BARE_SERVICE_BINARY),
                        {QStringLiteral("categories"), QStringLiteral("feed")});
    return m_bus->waitForBusName(bareName, startTimeoutMs) ||
           fail(QStringLiteral("the bare service did not come up: ") + m_bare->output());
}

double BusBench::throughput(const QVector<Load>& loads, int windowMs, int* failed)
{
    const qint64 start = QDateTime::currentMSecsSinceEpoch() + loadStartDelayMs;
    QVector<QPair<QProcess*, bool>> clients;
    for (const Load& load : loads) {
        for (int i = 0; i < load.clients; ++i) {
            auto* client = new QProcess(this);
            client->start(QStringLiteral(LOAD_CLIENT_BINARY),
                          {load.side == Side::Service ? serviceName
                           : load.side == Side::Bare  ? bareName
                                                      : benchRequests::direct,
                           load.requests.at(i % load.requests.size()), QString::number(start),
                           QString::number(windowMs)});
            clients.append({client, load.counted});
        }
    }
    int completed = 0;
    bool complete = true;
    for (const auto& [client, counted] : clients) {
        client->waitForFinished(loadStartDelayMs + windowMs + loadFinishGraceMs);
        const QStringList words = QString::fromLatin1(client->readAllStandardOutput()).split(' ');
        complete = complete && words.size() == 4;
        if (counted && words.size() == 4) {
            completed += words.at(1).toInt();
            *failed += words.at(3).toInt();
        }
        client->kill();
        client->waitForFinished();
        delete client;
    }
    return complete ? completed * 1000.0 / windowMs : -1.0;
}

bool BusBench::setSiblingDelay(const QString& busName, int milliseconds)
{
    QDBusMessage call = QDBusMessage::createMethodCall(busName, QStringLiteral("/"), busName,
                                                       QStringLiteral("setDelay"));
    call.setArguments({milliseconds});
    return m_bus->connection().call(call, QDBus::Block, callTimeoutMs).type() ==
           QDBusMessage::ReplyMessage;
}

qint64 BusBench::residentKb(Side side) const
{
    const ServiceProcess* process = side == Side::Service ? m_service : m_bare;
    return process != nullptr ? process->residentKiB() : -1;
}

// Everything the program executes, in all its threads, from its start to its exit, with `calls`
// FeedLines requests in between, one after the other, as callgrind counts it; -1 when a request
// failed or no count came.
qint64 BusBench::callgrindTotal(const QStringList& command, const QString& busName,
                                const QString& request, int calls)
{
    QTemporaryDir directory;
    const QString counts = directory.filePath(QStringLiteral("callgrind.out"));
    ServiceProcess* program =
        startOnBus(QStringLiteral("valgrind"),
                   QStringList{QStringLiteral("--tool=callgrind"), QStringLiteral("--quiet"),
                               QStringLiteral("--callgrind-out-file=") + counts} +
                       command);
    bool served =
        program->state() == QProcess::Running && m_bus->waitForBusName(busName, callgrindTimeoutMs);
    const QDBusMessage call = benchRequests::call(busName, request);
    for (int i = 0; served && i < calls; ++i) {
        const QDBusMessage answer =
            m_bus->connection().call(call, QDBus::Block, callgrindTimeoutMs);
        served = !answer.arguments().isEmpty() &&
                 libpivra::dbusValueUnpack(answer.arguments().constFirst())
                         .toMap()
                         .value(ls::resultIdKey) == ls::ResultId::Success;
    }
    // Callgrind writes the counts when the program exits, on a signal it does not handle too.
    program->terminate();
    const bool exited = program->waitForFinished(callgrindTimeoutMs);
    qint64 total = -1;
    QFile file(counts);
    if (served && exited && file.open(QIODevice::ReadOnly)) {
        for (QByteArray line = file.readLine(); !line.isEmpty(); line = file.readLine()) {
            if (line.startsWith("summary:")) {
                total = line.mid(8).trimmed().toLongLong();
            }
        }
    }
    if (total < 0) {
        fail(QStringLiteral("no instruction count for %1 after %2 requests: %3")
                 .arg(command.constFirst())
                 .arg(calls)
                 .arg(program->output()));
    }
    delete program;
    return total;
}

// Two runs of each program under callgrind, one with the warm-up requests only and one with
// `calls` more: the difference is what the calls cost, without the start, the stop and what the
// first requests set up. Simpler than switching the counting on and off in a running program, and
// it counts every thread, the lanes and Qt's bus thread included.
BusBench::Instructions BusBench::instructionsPerCall(int calls)
{
    const auto perCall = [&](const QStringList& command, const QString& busName,
                             const QString& request) {
        const qint64 warm = callgrindTotal(command, busName, request, warmUpCalls);
        const qint64 all =
            warm < 0 ? -1 : callgrindTotal(command, busName, request, warmUpCalls + calls);
        return all < 0 ? -1.0 : static_cast<double>(all - warm) / calls;
    };
    const QString feed = QStringLiteral("feed");
    const QString catalogue = QStringLiteral("categories");
    // The yardsticks learn their replies from the running service; the bare one takes its name
    // back from the one that served the throughput runs.
    delete m_bare;
    m_bare = nullptr;
    Instructions counted{};
    counted.forwarder =
        perCall({QStringLiteral(BARE_SERVICE_BINARY), QStringLiteral("--forward"), feed},
                forwarderName, feed);
    counted.bareCatalogue =
        perCall({QStringLiteral(BARE_SERVICE_BINARY), catalogue}, bareName, catalogue);
    delete m_service;
    m_service = nullptr;
    counted.feed = perCall({serviceBinary()}, serviceName, feed);
    counted.catalogue = perCall({serviceBinary()}, serviceName, catalogue);
    return counted;
}
