// In-process cost of CommandHandler::process, one benchmark per kind of request, with the fake
// sibling clients in place of the real ones, and the catalogue queries over generated tables of
// growing size. Log lines are formatted as in the service but not written, so that the figures
// are the handler's own work and not the terminal's; how many lines a request logs is shown as
// the counter "log_lines".

#include "BenchRequests.h"
#include "CommandHandler.h"
#include "CommandTableGenerator.h"
#include "FakeRecorder.h"
#include "ls/Enums.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

// The fakes keep every call; forgetting them now and then keeps the process's memory flat.
constexpr int recorderResetInterval = 4096;
const int tableSizes[] = {10, 100, 1000, 10000};
// The large tables no longer fit the caches, so their figures move with whatever else runs on
// the machine; the median of a few repetitions steadies them.
constexpr int scalingRepetitions = 3;

int loggedLines = 0;

void countAndDrop(QtMsgType, const QMessageLogContext&, const QString&)
{
    ++loggedLines;
}

using benchRequests::deviceCommand;
using benchRequests::request;

QVariantMap commandsOf(const QString& category)
{
    QVariantMap map = request(ls::CommandHandlerCmdId::GetCommands);
    map.insert(ls::categoryKey, category);
    return map;
}

// What the document-manager simulator answers, so the listing has the device's shape.
void programFakes()
{
    QVariantList documents;
    for (int i = 1; i <= 3; ++i) {
        documents.append(QVariantMap{{QStringLiteral("id"), QStringLiteral("doc-%1").arg(i)},
                                     {QStringLiteral("name"), QStringLiteral("Document %1").arg(i)},
                                     {QStringLiteral("pages"), i * 4}});
    }
    FakeRecorder::documentManager().setResult(
        QStringLiteral("documents"), QVariantMap{{QStringLiteral("documents"), documents}});
}

void writeTable(const QByteArray& contents)
{
    QFile file(CommandHandler::commandTablePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) < 0) {
        qFatal("cannot write %s", qPrintable(file.fileName()));
    }
}

std::unique_ptr<CommandHandler> loadedHandler(const QByteArray& table)
{
    writeTable(table);
    auto handler = std::make_unique<CommandHandler>();
    handler->initialize();
    return handler;
}

// A benchmark that measured the wrong thing is worse than none: the first reply is checked.
bool checkReply(benchmark::State& state, const QVariantMap& reply, const QString& resultId,
                const QString& errorId)
{
    if (reply.value(ls::resultIdKey) == resultId && reply.value(ls::errorIdKey) == errorId) {
        return true;
    }
    state.SkipWithError(qPrintable(
        QStringLiteral("unexpected reply %1/%2")
            .arg(reply.value(ls::resultIdKey).toString(), reply.value(ls::errorIdKey).toString())));
    return false;
}

void runRequests(benchmark::State& state, CommandHandler& handler, const QVariantMap& request,
                 const QString& resultId, const QString& errorId)
{
    if (!checkReply(state, handler.process(request), resultId, errorId)) {
        return;
    }
    loggedLines = 0;
    int sinceReset = 0;
    for (auto _ : state) {
        QVariantMap reply = handler.process(request);
        benchmark::DoNotOptimize(reply);
        if (++sinceReset == recorderResetInterval) {
            state.PauseTiming();
            FakeRecorder::resetAll();
            programFakes();
            sinceReset = 0;
            state.ResumeTiming();
        }
    }
    state.counters["log_lines"] =
        benchmark::Counter(loggedLines, benchmark::Counter::kAvgIterations);
}

void registerRequest(const char* name, CommandHandler& handler, const QVariantMap& request,
                     const QString& resultId = ls::ResultId::Success,
                     const QString& errorId = ls::undefinedKey)
{
    benchmark::RegisterBenchmark(name,
                                 [&handler, request, resultId, errorId](benchmark::State& state) {
                                     runRequests(state, handler, request, resultId, errorId);
                                 });
}

void registerRejections(CommandHandler& handler)
{
    const QString failure = ls::ResultId::Failure;
    QVariantMap noCommandId = deviceCommand(202, {1});
    noCommandId.remove(ls::commandIdKey);
    registerRequest("Reject/NoCommandId", handler, noCommandId, failure, ls::ErrorId::InvalidCmd);
    registerRequest("Reject/UnknownSubCommand", handler, deviceCommand(999), failure,
                    ls::ErrorId::InvalidCmd);
    QVariantMap unknownSender = deviceCommand(202, {1});
    unknownSender.insert(ls::senderIdKey, QStringLiteral("Nobody"));
    registerRequest("Reject/UnknownSender", handler, unknownSender, failure,
                    ls::ErrorId::InvalidSender);
    registerRequest("Reject/UnknownSenderCatalogue", handler,
                    request(ls::CommandHandlerCmdId::GetCommands, QStringLiteral("Nobody")),
                    failure, ls::ErrorId::InvalidSender);
}

void registerCommands(CommandHandler& handler)
{
    registerRequest("Catalogue/GetCommandCategories", handler,
                    request(ls::CommandHandlerCmdId::GetCommandCategories));
    registerRequest("Catalogue/GetCommands", handler,
                    commandsOf(ls::CommandCategories::PaperFeedCommandId));
    registerRequest("Device/PaperFeed/FeedLines_202", handler, deviceCommand(202, {1}));
    registerRequest("Device/Emboss/StartEmbossing_400", handler, deviceCommand(400));
    registerRequest("Device/Testing/SpeakText_500", handler,
                    deviceCommand(500, {QStringLiteral("Hello")}));
    registerRequest("Device/Document/GetDocuments_300", handler, deviceCommand(300));
    registerRequest("Device/Configuration/GetSettingsGroups_101", handler, deviceCommand(101));
    registerRequest("Device/Ipc/RunMotorTest_601", handler, deviceCommand(601));
}

// Each size gets a handler of its own; the table file is rewritten before each load because its
// path is fixed for the process.
void registerScaling(const std::map<int, std::unique_ptr<CommandHandler>>& handlers)
{
    const QVariantMap categories = request(ls::CommandHandlerCmdId::GetCommandCategories);
    const QVariantMap commands = commandsOf(CommandTableGenerator::categoryOf(0));
    for (const auto& [size, handler] : handlers) {
        CommandHandler* target = handler.get();
        const int expected = (size + CommandTableGenerator::categoryCount() - 1) /
                             CommandTableGenerator::categoryCount();
        const std::string suffix = "/" + std::to_string(size);
        benchmark::RegisterBenchmark(("Scaling/GetCommandCategories" + suffix).c_str(),
                                     [=](benchmark::State& state) {
                                         runRequests(state, *target, categories,
                                                     ls::ResultId::Success, ls::undefinedKey);
                                         state.counters["commands"] = size;
                                     })
            ->Repetitions(scalingRepetitions)
            ->ReportAggregatesOnly(true);
        benchmark::RegisterBenchmark(
            ("Scaling/GetCommands" + suffix).c_str(),
            [=](benchmark::State& state) {
                const int listed = target->process(commands).value(ls::commandsKey).toList().size();
                if (listed != expected) {
                    state.SkipWithError("the generated table was not listed in full");
                    return;
                }
                runRequests(state, *target, commands, ls::ResultId::Success, ls::undefinedKey);
                state.counters["commands"] = size;
            })
            ->Repetitions(scalingRepetitions)
            ->ReportAggregatesOnly(true);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir state;
    // The table path is fixed on first use, so the state directory is set before anything else.
    qputenv("STATE_DIRECTORY", QDir(state.path()).absolutePath().toUtf8());
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    QFile defaultTable(QStringLiteral(DEFAULT_COMMAND_TABLE));
    if (!state.isValid() || !defaultTable.open(QIODevice::ReadOnly)) {
        qFatal("cannot prepare the state directory");
    }
    const std::unique_ptr<CommandHandler> handler = loadedHandler(defaultTable.readAll());
    std::map<int, std::unique_ptr<CommandHandler>> scaled;
    for (int size : tableSizes) {
        scaled[size] = loadedHandler(CommandTableGenerator::generate(size));
    }
    programFakes();
    qInstallMessageHandler(countAndDrop);

    registerRejections(*handler);
    registerCommands(*handler);
    registerScaling(scaled);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
