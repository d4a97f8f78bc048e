// libFuzzer entry point: arbitrary bus messages, demarshalled by Qt D-Bus on a private
// peer-to-peer connection, into libpivra::dbusArgumentUnpack. Every argument must come out as
// the plain value it was built from: no QDBusArgument left, no element lost or reordered.
#include "BusMessageBuilder.h"
#include "FuzzOutput.h"
#include "PeerBus.h"
#include "PlainValue.h"
#include "UnpackReceiver.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QDebug>

#include <cstdio>
#include <cstdlib>

namespace {

PeerBus* bus = nullptr;

using fuzz::describe;
using fuzz::silence;

[[noreturn]] void fail(const char* what, const std::string& signature, const QVariant& actual,
                       const QVariant& expected)
{
    std::fprintf(stderr, "fuzz_dbus_unpack: %s\nsignature: %s\nunpacked: %s\nexpected: %s\n", what,
                 signature.c_str(), qPrintable(describe(actual)), qPrintable(describe(expected)));
    std::abort();
}

void checkUnpacked(const BusMessageBuilder& builder)
{
    const QVariantMap unpacked = bus->receiver()->unpacked();
    const QMap<int, QVariantMap> requests = bus->receiver()->unpackedRequests();
    if (unpacked.size() != builder.expected().size()) {
        fail("argument count changed", {}, unpacked, builder.expected());
    }
    for (int i = 0; i < builder.expected().size(); ++i) {
        const std::string& signature = builder.signatures().at(i);
        const QVariant& expected = builder.expected().at(i);
        const QVariant actual = unpacked.value(UnpackReceiver::argumentKey(i));
        if (!fuzz::samePlainValue(actual, expected)) {
            fail("argument unpacked wrongly", signature, actual, expected);
        }
        if (signature == "a{sv}" && !fuzz::samePlainValue(requests.value(i), expected)) {
            fail("request dictionary unpacked wrongly", signature, requests.value(i), expected);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    dbus_threads_init_default();
    static int argc = 1;
    static char name[] = "fuzz_dbus_unpack";
    static char* argv[] = {name, nullptr};
    auto* application = new QCoreApplication(argc, argv);
    bus = new PeerBus(application);
    if (!bus->start()) {
        std::fprintf(stderr, "fuzz_dbus_unpack: the peer-to-peer bus does not carry calls\n");
        std::abort();
    }
    qInstallMessageHandler(silence);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    BusMessageBuilder builder(data);
    DBusMessage* message = bus->newCall();
    if (message == nullptr || !builder.appendArguments(message)) {
        if (message != nullptr) {
            dbus_message_unref(message);
        }
        return 0;
    }
    if (!bus->deliver(message)) {
        std::fprintf(stderr, "fuzz_dbus_unpack: call not delivered (client %s)\n",
                     bus->isConnected() ? "connected" : "disconnected");
        std::abort();
    }
    checkUnpacked(builder);
    return 0;
}
