// libFuzzer entry point: arbitrary bus messages (an input is one message in the bus's wire
// format, as libdbus marshals it), demarshalled by Qt D-Bus on a private peer-to-peer connection,
// into libpivra's unpacking. Every argument must come out as plain values: no QDBusArgument or
// QDBusVariant left at any depth, no argument lost.
#include "FuzzOutput.h"
#include "PeerBus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

PeerBus* bus = nullptr;

void check(bool ok, const char* what, const QVariant& value = {})
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_dbus_unpack: %s\nunpacked: %s\n", what,
                     qPrintable(fuzz::describe(value)));
        std::abort();
    }
}

bool isPlain(const QVariant& value)
{
    const int type = value.userType();
    if (type == qMetaTypeId<QDBusArgument>() || type == qMetaTypeId<QDBusVariant>()) {
        return false;
    }
    if (type == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        return std::all_of(map.cbegin(), map.cend(), isPlain);
    }
    if (type == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        return std::all_of(list.cbegin(), list.cend(), isPlain);
    }
    return true;
}

// The input's body, in a call to the peer object: its own header may name anything.
DBusMessage* callWithBodyOf(const uint8_t* bytes, size_t size)
{
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* input = dbus_message_demarshal(reinterpret_cast<const char*>(bytes),
                                                static_cast<int>(size), &error);
    dbus_error_free(&error);
    if (input == nullptr) {
        return nullptr;
    }
    DBusMessage* call = nullptr;
    if (dbus_message_get_type(input) == DBUS_MESSAGE_TYPE_METHOD_CALL &&
        !dbus_message_contains_unix_fds(input)) {
        // A copy is never locked, so its header may be changed.
        call = dbus_message_copy(input);
        if (call != nullptr &&
            !(dbus_message_set_destination(call, nullptr) && dbus_message_set_path(call, "/") &&
              dbus_message_set_interface(call, "com.vellorn.Fuzz") &&
              dbus_message_set_member(call, "unpack"))) {
            dbus_message_unref(call);
            call = nullptr;
        }
    }
    dbus_message_unref(input);
    return call;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    dbus_threads_init_default();
    static int argc = 1;
    static char name[] = "fuzz_dbus_unpack";
    static char* argv[] = {name, nullptr};
    bus = new PeerBus(new QCoreApplication(argc, argv));
    check(bus->start(), "the peer-to-peer bus does not carry calls");
    qInstallMessageHandler(fuzz::silence);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    DBusMessage* call = callWithBodyOf(bytes, size);
    if (call == nullptr || !bus->deliver(call)) {
        return 0;
    }
    check(bus->unpacked().size() >= bus->argumentCount(), "an argument was lost");
    for (const QVariant& value : bus->unpacked()) {
        check(isPlain(value), "a bus-marshalled value is left", value);
    }
    return 0;
}
