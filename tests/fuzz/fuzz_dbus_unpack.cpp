// libFuzzer entry point: arbitrary bus messages, demarshalled by Qt D-Bus on a private
// peer-to-peer connection, into libpivra::dbusArgumentUnpack. Every argument must come out as
// the plain value it was built from: no QDBusArgument left, no element lost or reordered.
#include "BusMessageBuilder.h"
#include "FuzzOutput.h"
#include "PeerBus.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

PeerBus* bus = nullptr;

void check(bool ok, const char* what, const std::string& signature = {},
           const QVariant& actual = {}, const QVariant& expected = {})
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_dbus_unpack: %s\nsignature: %s\nunpacked: %s\nexpected: %s\n",
                     what, signature.c_str(), qPrintable(fuzz::describe(actual)),
                     qPrintable(fuzz::describe(expected)));
        std::abort();
    }
}

bool isList(const QVariant& value)
{
    return value.userType() == QMetaType::QVariantList ||
           value.userType() == QMetaType::QStringList;
}

bool samePlainValue(const QVariant& actual, const QVariant& expected);

bool sameList(const QVariantList& actual, const QVariantList& expected)
{
    return actual.size() == expected.size() &&
           std::equal(actual.cbegin(), actual.cend(), expected.cbegin(), samePlainValue);
}

// Maps and lists compared entry by entry (a QStringList counts as a list of strings), scalars by
// type and value. A QDBusArgument or QDBusVariant left anywhere never matches.
bool samePlainValue(const QVariant& actual, const QVariant& expected)
{
    if (isList(expected)) {
        return isList(actual) && sameList(actual.toList(), expected.toList());
    }
    if (actual.userType() != expected.userType()) {
        return false;
    }
    switch (expected.userType()) {
    case QMetaType::QVariantMap:
        return actual.toMap().keys() == expected.toMap().keys() &&
               sameList(actual.toMap().values(), expected.toMap().values());
    case QMetaType::Double: {
        // The bus carries a double's eight bytes as they are, NaN payloads and the zero's sign
        // included.
        const double values[] = {actual.toDouble(), expected.toDouble()};
        return std::memcmp(&values[0], &values[1], sizeof(double)) == 0;
    }
    default:
        return actual == expected;
    }
}

void checkUnpacked(const BusMessageBuilder& builder)
{
    const PeerBus::Result result = bus->result();
    const QVariantList& expected = builder.expected();
    check(result.arguments.size() == expected.size(), "argument count changed", {},
          result.arguments, expected);
    for (int i = 0; i < expected.size(); ++i) {
        const std::string& signature = builder.signatures().at(i);
        const QVariant actual = result.arguments.value(PeerBus::argumentKey(i));
        check(samePlainValue(actual, expected.at(i)), "argument unpacked wrongly", signature,
              actual, expected.at(i));
        check(signature != "a{sv}" || samePlainValue(result.requests.value(i), expected.at(i)),
              "request dictionary unpacked wrongly", signature, result.requests.value(i),
              expected.at(i));
    }
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
    FuzzedDataProvider data(bytes, size);
    BusMessageBuilder builder(data);
    DBusMessage* message = PeerBus::newCall();
    check(message != nullptr, "libdbus is out of memory");
    builder.appendArguments(message);
    check(bus->deliver(message), "call not delivered");
    checkUnpacked(builder);
    return 0;
}
