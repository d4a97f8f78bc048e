// libFuzzer entry point: arbitrary request maps into CommandHandler::process with the default
// command table and the in-process sibling clients. A reply that is not a well-formed
// Success/Failure map, or a rejection that does not follow the order of the request checks,
// stops the run.
#include "CommandHandler.h"
#include "FuzzOutput.h"
#include "RequestBuilder.h"

#include "ls/Enums.h"
#include "ls/Keys.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <iterator>

#if __has_include("FakeRecorder.h")
#include "ConfigurationList.h"
#include "FakeRecorder.h"
#define CH_FUZZ_FAKE_CLIENTS 1
#endif

namespace {

CommandHandler* handler = nullptr;

using fuzz::describe;
using fuzz::silence;

[[noreturn]] void fail(const char* what, const QVariantMap& request, const QVariantMap& reply)
{
    std::fprintf(stderr, "fuzz_process: %s\nrequest: %s\nreply: %s\n", what,
                 qPrintable(describe(request)), qPrintable(describe(reply)));
    std::abort();
}

bool isCommandValue(int value)
{
    for (const ls::MetaEnum* meta :
         {&ls::ConfigurationCommandId::meta, &ls::PaperFeedCommandId::meta,
          &ls::DocumentCommandId::meta, &ls::EmbossCommandId::meta, &ls::TestingCommandId::meta,
          &ls::IpcCommandId::meta}) {
        if (meta->hasValue(value)) {
            return true;
        }
    }
    return false;
}

// The error id with which process itself must turn the request down, or empty text when the
// request must reach a handler. Checks run in the order command id, sub-command, sender.
QString expectedRejection(const QVariantMap& request)
{
    const QString commandId = request.value(ls::commandIdKey).toString();
    const bool validSender = ls::ServiceId::meta.hasKey(request.value(ls::senderIdKey).toString());
    if (commandId == ls::CommandHandlerCmdId::GetCommandCategories ||
        commandId == ls::CommandHandlerCmdId::GetCommands) {
        return validSender ? QString() : ls::ErrorId::InvalidSender;
    }
    if (commandId != ls::CommandHandlerCmdId::HandleCommand ||
        !isCommandValue(request.value(ls::subCommandIdKey).toString().toInt(nullptr, 10))) {
        return ls::ErrorId::InvalidCmd;
    }
    return validSender ? QString() : ls::ErrorId::InvalidSender;
}

void checkReply(const QVariantMap& request, const QVariantMap& reply)
{
    const QString result = reply.value(ls::resultIdKey).toString();
    if (result != ls::ResultId::Success && result != ls::ResultId::Failure) {
        fail("resultId is neither Success nor Failure", request, reply);
    }
    if (!reply.contains(ls::errorIdKey)) {
        fail("reply without errorId", request, reply);
    }
    const QString rejection = expectedRejection(request);
    if (!rejection.isEmpty()) {
        if (reply != CommandHandler::makeReply(ls::ResultId::Failure, rejection)) {
            fail("request not rejected as expected", request, reply);
        }
        return;
    }
    if (reply.value(ls::errorIdKey).toString() != ls::undefinedKey) {
        fail("a handler's reply must carry errorId Undefined", request, reply);
    }
    if (request.value(ls::commandIdKey).toString() ==
            ls::CommandHandlerCmdId::GetCommandCategories &&
        reply.value(ls::commandCategoriesKey).toList().isEmpty()) {
        fail("the loaded table lists no categories", request, reply);
    }
}

#ifdef CH_FUZZ_FAKE_CLIENTS
struct FakeMethod {
    FakeRecorder& (*recorder)();
    const char* name;
    bool groups;
};

const FakeMethod fakeMethods[] = {
    {&FakeRecorder::documentManager, "documents", false},
    {&FakeRecorder::documentManager, "deleteDocument", false},
    {&FakeRecorder::documentManager, "deleteAllDocuments", false},
    {&FakeRecorder::configurationManager, "getSettings", false},
    {&FakeRecorder::configurationManager, "setSetting", false},
    {&FakeRecorder::configurationManager, "getSettingsGroups", true},
    {&FakeRecorder::configurationManager, "getSettingsGroup", true},
    {&FakeRecorder::printManager, "runTestCmd", false},
    {&FakeRecorder::printManager, "setIPCState", false},
    {&FakeRecorder::printManager, "isPaperLoaded", false},
    {&FakeRecorder::printManager, "paperPosition", false},
    {&FakeRecorder::printManager, "setPaperLength", false},
};

// What the clients answer this time: the handlers and the proxies' listings see odd shapes too.
void programClients(FuzzedDataProvider& data, RequestBuilder& builder)
{
    FakeRecorder::resetAll();
    const int count = data.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) {
        const FakeMethod& method =
            fakeMethods[data.ConsumeIntegralInRange<size_t>(0, std::size(fakeMethods) - 1)];
        if (!method.groups) {
            method.recorder().setResult(QString::fromLatin1(method.name), builder.anyValue());
            continue;
        }
        ConfigurationList groups;
        const int size = data.ConsumeIntegralInRange(0, 3);
        for (int g = 0; g < size; ++g) {
            groups.append({builder.text(), builder.anyValue(3).toMap()});
        }
        method.recorder().setResult(QString::fromLatin1(method.name), QVariant::fromValue(groups));
    }
}
#endif

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(silence);
    // The table path is fixed on first use, so the state directory is set before anything.
    static QTemporaryDir stateDirectory;
    const QString table = stateDirectory.filePath(QStringLiteral("commandTable.json"));
    if (!stateDirectory.isValid() || !QFile::copy(QStringLiteral(DEFAULT_COMMAND_TABLE), table)) {
        std::fprintf(stderr, "fuzz_process: cannot set up the state directory\n");
        std::abort();
    }
    qputenv("STATE_DIRECTORY", QFile::encodeName(stateDirectory.path()));
    static int argc = 1;
    static char name[] = "fuzz_process";
    static char* argv[] = {name, nullptr};
    auto* application = new QCoreApplication(argc, argv);
    handler = new CommandHandler(application);
    handler->initialize();
    if (CommandHandler::commandTablePath() != table) {
        std::fprintf(stderr, "fuzz_process: the command table is not read from %s\n",
                     qPrintable(table));
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    RequestBuilder builder(data);
    const QVariantMap request = builder.request();
#ifdef CH_FUZZ_FAKE_CLIENTS
    programClients(data, builder);
#endif
    checkReply(request, handler->process(request));
    return 0;
}
