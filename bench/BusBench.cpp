#include "BusBench.h"

#include "BenchRequests.h"
#include "FileAppearance.h"
#include "ServiceWatcher.h"
#include "TestBus.h"
#include "libpivra/DBusArgumentUnpack.h"
#include "ls/Enums.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

const QString serviceName = QStringLiteral("com.vellorn.CommandHandler");
const QString readinessName = QStringLiteral("command-handler");
const QStringList simulators = {QStringLiteral("print-manager"), QStringLiteral("document-manager"),
                                QStringLiteral("configuration-manager"), QStringLiteral("speech")};
constexpr int startTimeoutMs = 15000;
constexpr int callTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;
// Time for every load client to start and connect before the common window opens.
constexpr int loadStartDelayMs = 1500;
constexpr int loadFinishGraceMs = 30000;

using benchRequests::deviceCommand;
using benchRequests::request;

void clearReadiness()
{
    for (const QString& name : TestBus::siblingReadinessNames) {
        ServiceWatcher::setReady(name, false);
    }
    ServiceWatcher::setReady(readinessName, false);
}

int threadCount(qint64 pid)
{
    return QDir(QStringLiteral("/proc/%1/task").arg(pid))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

} // namespace

const BusBench::Target BusBench::commandHandler{serviceName, serviceName,
                                                QStringLiteral("process")};
// Literal names: another file's constants may not be built yet when these are.
const BusBench::Target BusBench::bareEcho{QStringLiteral("com.vellorn.BareBench"),
                                          QStringLiteral("com.vellorn.BareBench"),
                                          QStringLiteral("process")};
const BusBench::Target BusBench::barePrimed{QStringLiteral("com.vellorn.BareBenchPrimed"),
                                            QStringLiteral("com.vellorn.BareBench"),
                                            QStringLiteral("processPrimed")};

BusBench::BusBench(QObject* parent) : QObject(parent), m_bus(new TestBus(this)) {}

BusBench::~BusBench()
{
    const auto processes = findChildren<QProcess*>(QString(), Qt::FindDirectChildrenOnly);
    for (QProcess* process : processes) {
        stop(process);
    }
    // Then the bus daemon, which the bus object stops when it goes.
    delete m_bus;
}

void BusBench::stop(QProcess* process)
{
    if (process->state() == QProcess::NotRunning) {
        return;
    }
    process->terminate();
    if (!process->waitForFinished(stopTimeoutMs)) {
        process->kill();
        process->waitForFinished(stopTimeoutMs);
    }
}

bool BusBench::fail(const QString& problem)
{
    m_problem = problem;
    return false;
}

bool BusBench::start()
{
    return m_logs.isValid() && m_bus->start() ? true : fail(QStringLiteral("no private bus"));
}

QProcess* BusBench::startLogged(const QString& program, const QStringList& arguments,
                                const QString& logName)
{
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    // Into a file, not a pipe: nobody reads a pipe while the bench blocks on its calls, and a
    // full pipe would stall the service.
    process->setStandardOutputFile(m_logs.filePath(logName), QIODevice::Append);
    process->start(program, arguments);
    process->waitForStarted(startTimeoutMs);
    return process;
}

bool BusBench::waitForGateThread(const QProcess* service)
{
    return QTest::qWaitFor(
               [service] {
                   return service->state() != QProcess::Running ||
                          threadCount(service->processId()) > 1;
               },
               startTimeoutMs) &&
           service->state() == QProcess::Running;
}

qint64 BusBench::readinessOnce()
{
    clearReadiness();
    const QStringList& siblings = TestBus::siblingReadinessNames;
    for (int i = 0; i + 1 < siblings.size(); ++i) {
        ServiceWatcher::setReady(siblings.at(i), true);
    }
    QProcess* service =
        startLogged(QStringLiteral(COMMAND_HANDLER_BINARY), {}, QStringLiteral("readiness.log"));
    qint64 latency = -1;
    if (waitForGateThread(service)) {
        const FileAppearance watch(m_bus->watcherDirectory());
        const qint64 announced = FileAppearance::now();
        ServiceWatcher::setReady(siblings.constLast(), true);
        const qint64 seen = watch.waitFor(readinessName + QStringLiteral(".ready"), callTimeoutMs);
        latency = seen < 0 ? -1 : seen - announced;
    }
    stop(service);
    delete service;
    return latency;
}

QVector<qint64> BusBench::measureReadiness(int runs)
{
    QVector<qint64> latencies;
    for (int run = 0; run < runs; ++run) {
        const qint64 latency = readinessOnce();
        if (latency < 0) {
            fail(QStringLiteral("the service did not announce itself ready (run %1)").arg(run));
            return {};
        }
        latencies.append(latency);
    }
    clearReadiness();
    return latencies;
}

bool BusBench::startServices()
{
    clearReadiness();
    for (const QString& sibling : simulators) {
        startLogged(QStringLiteral(SIBLING_SIMULATOR_BINARY), {sibling}, sibling + ".log");
    }
    for (const QString& name : TestBus::siblingReadinessNames) {
        if (!m_bus->waitForReady(name, startTimeoutMs)) {
            return fail(QStringLiteral("simulator %1 not ready").arg(name));
        }
    }
    // Another build of the service can be measured with the same bench, for a before and after.
    m_service = startLogged(qEnvironmentVariable("BENCH_SERVICE_BINARY", COMMAND_HANDLER_BINARY),
                            {}, QStringLiteral("command-handler.log"));
    if (!m_bus->waitForReady(readinessName, startTimeoutMs) ||
        !m_bus->waitForBusName(serviceName, startTimeoutMs)) {
        return fail(QStringLiteral("the service did not come up"));
    }
    m_bare = startLogged(QStringLiteral(BARE_SERVICE_BINARY), {bareEcho.service},
                         QStringLiteral("bare.log"));
    m_barePrimed = startLogged(QStringLiteral(BARE_SERVICE_BINARY), {barePrimed.service},
                               QStringLiteral("bare-primed.log"));
    if (!m_bus->waitForBusName(bareEcho.service, startTimeoutMs) ||
        !m_bus->waitForBusName(barePrimed.service, startTimeoutMs)) {
        return fail(QStringLiteral("the bare services did not come up"));
    }
    return true;
}

QVector<BusBench::Request> BusBench::requests()
{
    QVariantMap commands = request(ls::CommandHandlerCmdId::GetCommands);
    commands.insert(ls::categoryKey, ls::CommandCategories::PaperFeedCommandId);
    return {{QStringLiteral("GetCommandCategories"),
             request(ls::CommandHandlerCmdId::GetCommandCategories)},
            {QStringLiteral("GetCommands (PaperFeedCommandId)"), commands},
            {QStringLiteral("FeedLines 202 [1] (paper feed, void)"), deviceCommand(202, {1})},
            {QStringLiteral("GetDocuments 300"), deviceCommand(300)}};
}

QVariantMap BusBench::call(const Target& target, const QVariantList& arguments) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(target.service, QStringLiteral("/"),
                                                       target.interface, target.method);
    call.setArguments(arguments);
    const QDBusMessage answer = m_bus->connection().call(call, QDBus::Block, callTimeoutMs);
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty()
               ? libpivra::dbusValueUnpack(answer.arguments().constFirst()).toMap()
               : QVariantMap();
}

bool BusBench::primeBare()
{
    for (const Request& kind : requests()) {
        const QVariantMap reply = call(commandHandler, {kind.map});
        if (reply.value(ls::resultIdKey) != ls::ResultId::Success) {
            return fail(QStringLiteral("%1 failed on the service").arg(kind.label));
        }
        const Target prime{barePrimed.service, barePrimed.interface, QStringLiteral("prime")};
        call(prime, {kind.map, reply});
    }
    return true;
}

const BusBench::Target& BusBench::targetOf(Side side)
{
    return side == Side::Service ? commandHandler : side == Side::BareEcho ? bareEcho : barePrimed;
}

double BusBench::throughput(const QVector<Load>& loads, int windowMs, int* failed)
{
    const qint64 start = QDateTime::currentMSecsSinceEpoch() + loadStartDelayMs;
    QVector<QPair<QProcess*, bool>> clients;
    for (const Load& load : loads) {
        const Target& target = targetOf(load.side);
        for (int i = 0; i < load.clients; ++i) {
            auto* client = new QProcess(this);
            client->start(QStringLiteral(LOAD_CLIENT_BINARY),
                          {target.service, target.interface, target.method,
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
        complete = complete && words.size() == 4 && client->exitCode() == 0;
        if (counted && words.size() == 4) {
            completed += words.at(1).toInt();
            *failed += words.at(3).toInt();
        }
        stop(client);
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

qint64 BusBench::residentKb(const QProcess* process)
{
    if (process == nullptr || process->state() != QProcess::Running) {
        return -1;
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(process->processId()));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
        }
    }
    return -1;
}

qint64 BusBench::serviceResidentKb() const
{
    return residentKb(m_service);
}

qint64 BusBench::bareResidentKb() const
{
    return residentKb(m_bare);
}
