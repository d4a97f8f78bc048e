// libFuzzer entry point: arbitrary bus messages (an input is one message in the bus's wire
// format, as libdbus marshals it), demarshalled by Qt D-Bus on a private peer-to-peer connection,
// into libpivra's unpacking. Every argument must come out as plain values: no QDBusArgument or
// QDBusVariant left at any depth, no argument lost. A request map then goes into
// CommandHandler::process: the reply must be a reply map, and no device command may succeed.
#include "CommandHandler.h"
#include "DirectCarrier.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServer>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDebug>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <dbus/dbus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

void check(bool ok, const char* what, const QVariant& value = {})
{
    if (!ok) {
        QString unpacked;
        QDebug(&unpacked) << value;
        std::fprintf(stderr, "fuzz_dbus_unpack: %s\nunpacked: %s\n", what, qPrintable(unpacked));
        std::abort();
    }
}

// Runs the event loop until done() holds; gives up after a few seconds.
bool waitUntil(const std::function<bool()>& done)
{
    // Also wakes the wait below when nothing else comes.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(5000);
    while (!done() && deadline.isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

// A private peer-to-peer bus inside the process: a QDBusServer whose connection carries this
// object at "/", and a raw libdbus client connection that sends it messages, so that what it
// takes in is real Qt D-Bus demarshalling output. Each argument of a call is unpacked with
// libpivra: as a value, and an a{sv} argument also the way the command service's adaptor
// receives it, as a request map.
class PeerBus : public QDBusVirtualObject
{
public:
    PeerBus() : m_server(new QDBusServer(this))
    {
        connect(m_server, &QDBusServer::newConnection, this, [this](const QDBusConnection& peer) {
            // One client only; the connection is kept so that it stays open.
            m_peer = peer;
            m_peer.registerVirtualObject(QStringLiteral("/"), this);
        });
    }

    // Connects the client and waits until a probe message has gone all the way through.
    bool start()
    {
        m_client = dbus_connection_open_private(m_server->address().toUtf8().constData(), nullptr);
        if (m_client == nullptr) {
            return false;
        }
        dbus_connection_set_exit_on_disconnect(m_client, FALSE);
        // A call that arrives before this object is registered on the new connection is lost.
        return waitUntil([this] { return m_peer.isConnected(); }) &&
               deliver(dbus_message_new_method_call(nullptr, "/", "com.vellorn.Fuzz", "probe"));
    }

    // Sends a call to this object, takes the message, and waits until it has been handled.
    bool deliver(DBusMessage* message)
    {
        if (message == nullptr) {
            return false;
        }
        dbus_message_set_no_reply(message, TRUE);
        const bool sent = dbus_connection_send(m_client, message, nullptr);
        dbus_message_unref(message);
        if (!sent) {
            return false;
        }
        dbus_connection_flush(m_client);
        const quint64 count = ++m_sent;
        const bool handled = waitUntil([this, count] { return m_handled >= count; });
        // The server may answer (errors, for instance); nobody reads that, so it is dropped.
        dbus_connection_read_write(m_client, 0);
        while (DBusMessage* incoming = dbus_connection_pop_message(m_client)) {
            dbus_message_unref(incoming);
        }
        return handled;
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        unpacked.clear();
        requests.clear();
        argumentCount = message.arguments().size();
        for (const QVariant& argument : message.arguments()) {
            unpacked.append(libpivra::dbusValueUnpack(argument));
            // Reading a QDBusArgument held in a variant works on a copy: it can be read again.
            if (argument.userType() == qMetaTypeId<QDBusArgument>() &&
                argument.value<QDBusArgument>().currentSignature() == QLatin1String("a{sv}")) {
                requests.append(libpivra::dbusArgumentUnpack(
                    qdbus_cast<QVariantMap>(argument.value<QDBusArgument>())));
                unpacked.append(requests.constLast());
            }
        }
        ++m_handled;
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    // What the last call's arguments were unpacked to, and its request maps among them.
    QVariantList unpacked;
    QList<QVariantMap> requests;
    int argumentCount = 0;

private:
    QDBusServer* m_server;
    QDBusConnection m_peer{QString()};
    DBusConnection* m_client = nullptr;
    quint64 m_sent = 0;
    quint64 m_handled = 0;
};

PeerBus* bus = nullptr;
CommandHandler* handler = nullptr;

// No bus container left at any depth.
bool isPlain(const QVariant& value)
{
    const int type = value.userType();
    if (type == QMetaType::QVariantMap || type == QMetaType::QVariantList) {
        const QVariantList items =
            type == QMetaType::QVariantMap ? value.toMap().values() : value.toList();
        return std::all_of(items.cbegin(), items.cend(), isPlain);
    }
    return type != qMetaTypeId<QDBusArgument>() && type != qMetaTypeId<QDBusVariant>();
}

// The input's body, in a call to the peer object: its own header may name anything.
DBusMessage* callWithBodyOf(const uint8_t* bytes, size_t size)
{
    DBusMessage* input = dbus_message_demarshal(reinterpret_cast<const char*>(bytes),
                                                static_cast<int>(size), nullptr);
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
    // The handler reads the default table from its state directory, with the system bus at a
    // socket that does not exist: no device command can be carried out.
    static QTemporaryDir state;
    check(QFile::copy(QStringLiteral(DEFAULT_COMMAND_TABLE), state.filePath("commandTable.json")),
          "cannot set up the state directory");
    qputenv("STATE_DIRECTORY", QFile::encodeName(state.path()));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(state.filePath("none")));
    // Device commands would run at once on this thread, and fail there.
    auto* carrier = new DirectCarrier(new QCoreApplication(argc, argv));
    handler = new CommandHandler(*carrier, carrier);
    check(handler->initialize(), "the command table cannot be read");
    bus = new PeerBus;
    check(bus->start(), "the peer-to-peer bus does not carry calls");
    // Millions of inputs: the code under test logs, the fuzzer must not.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    DBusMessage* call = callWithBodyOf(bytes, size);
    if (call == nullptr || !bus->deliver(call)) {
        return 0;
    }
    check(bus->unpacked.size() >= bus->argumentCount, "an argument was lost");
    for (const QVariant& value : qAsConst(bus->unpacked)) {
        check(isPlain(value), "a bus-marshalled value is left", value);
    }
    // Each request map also goes to the handler, as the service's adaptor hands it on.
    for (const QVariantMap& request : qAsConst(bus->requests)) {
        const QVariantMap reply = handler->process(request);
        const QVariant result = reply.value(QStringLiteral("resultId"));
        check((result == "Success" || result == "Failure") && reply.contains("errorId"),
              "a reply that is no reply map", reply);
        check(result == "Failure" || request.value("commandId") != "HandleCommand",
              "a device command without its sibling reported as done", reply);
    }
    return 0;
}
