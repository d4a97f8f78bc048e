// libFuzzer entry point: arbitrary request maps into CommandHandler::process with the default
// command table. An input is a CBOR map whose "request" is the request map. The real client
// libraries are linked, with the system bus at a socket that does not exist, so no device
// command can be carried out. A reply that is not a well-formed Success/Failure map, a rejection
// that does not follow the order of the request checks, or a device command reported as done
// stops the run.
#include "CategoryEnumerations.h"
#include "CommandHandler.h"
#include "FuzzOutput.h"

#include "ls/Enums.h"
#include "ls/Keys.h"

#include <QCborMap>
#include <QCborValue>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

CommandHandler* handler = nullptr;

void check(bool ok, const char* what, const QVariantMap& request = {},
           const QVariantMap& reply = {})
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_process: %s\nrequest: %s\nreply: %s\n", what,
                     qPrintable(fuzz::describe(request)), qPrintable(fuzz::describe(reply)));
        std::abort();
    }
}

bool isDeviceCommand(int value)
{
    return std::any_of(
        std::begin(categoryEnumerations), std::end(categoryEnumerations),
        [value](const CategoryEnumeration& c) { return c.commands.hasValue(value); });
}

// The error id with which process itself must turn the request down, or empty text when the
// request must reach a handler. Checks run in the order command id, sub-command, sender.
QString expectedRejection(const QVariantMap& request)
{
    const QString commandId = request.value(ls::commandIdKey).toString();
    const bool validSender = ls::ServiceId::meta.hasKey(request.value(ls::senderIdKey).toString());
    const bool listing = commandId == ls::CommandHandlerCmdId::GetCommandCategories ||
                         commandId == ls::CommandHandlerCmdId::GetCommands;
    if (!listing &&
        (commandId != ls::CommandHandlerCmdId::HandleCommand ||
         !isDeviceCommand(request.value(ls::subCommandIdKey).toString().toInt(nullptr, 10)))) {
        return ls::ErrorId::InvalidCmd;
    }
    return validSender ? QString() : ls::ErrorId::InvalidSender;
}

void checkReply(const QVariantMap& request, const QVariantMap& reply)
{
    const QString result = reply.value(ls::resultIdKey).toString();
    check(result == ls::ResultId::Success || result == ls::ResultId::Failure,
          "resultId is neither Success nor Failure", request, reply);
    check(reply.contains(ls::errorIdKey), "reply without errorId", request, reply);
    const QString rejection = expectedRejection(request);
    if (!rejection.isEmpty()) {
        check(reply == CommandHandler::makeReply(ls::ResultId::Failure, rejection),
              "request not rejected as expected", request, reply);
        return;
    }
    check(reply.value(ls::errorIdKey).toString() == ls::undefinedKey,
          "a handler's reply must carry errorId Undefined", request, reply);
    check(request.value(ls::commandIdKey).toString() != ls::CommandHandlerCmdId::HandleCommand ||
              result == ls::ResultId::Failure,
          "a device command without its sibling reported as done", request, reply);
    check(request.value(ls::commandIdKey).toString() !=
                  ls::CommandHandlerCmdId::GetCommandCategories ||
              !reply.value(ls::commandCategoriesKey).toList().isEmpty(),
          "the loaded table lists no categories", request, reply);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(fuzz::silence);
    // The table path is fixed on first use, so the state directory is set before anything.
    static QTemporaryDir stateDirectory;
    const QString table = stateDirectory.filePath(QStringLiteral("commandTable.json"));
    check(stateDirectory.isValid() && QFile::copy(QStringLiteral(DEFAULT_COMMAND_TABLE), table),
          "cannot set up the state directory");
    qputenv("STATE_DIRECTORY", QFile::encodeName(stateDirectory.path()));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(table) + ".no-bus");
    static int argc = 1;
    static char name[] = "fuzz_process";
    static char* argv[] = {name, nullptr};
    handler = new CommandHandler(new QCoreApplication(argc, argv));
    check(handler->initialize(), "the command table is not read from STATE_DIRECTORY");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const QVariantMap input =
        QCborValue::fromCbor(
            QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), static_cast<int>(size)))
            .toMap()
            .toVariantMap();
    const QVariantMap request = input.value(QStringLiteral("request")).toMap();
    checkReply(request, handler->process(request));
    return 0;
}
