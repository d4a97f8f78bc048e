#include "PeerBus.h"

#include "UnpackReceiver.h"

#include <QDBusServer>
#include <QEventLoop>
#include <QTimer>

namespace {

const char* const objectPath = "/";
const char* const interfaceName = "com.vellorn.Fuzz";
const char* const methodName = "unpack";
constexpr int deliveryTimeoutMs = 5000;

} // namespace

PeerBus::PeerBus(QObject* parent)
    : QObject(parent), m_server(new QDBusServer(this)), m_receiver(new UnpackReceiver(this)),
      m_peer(QString())
{
    connect(m_server, &QDBusServer::newConnection, this, &PeerBus::accept);
}

PeerBus::~PeerBus()
{
    if (m_client != nullptr) {
        dbus_connection_close(m_client);
        dbus_connection_unref(m_client);
    }
}

void PeerBus::accept(const QDBusConnection& connection)
{
    // One client only; the connection is kept so that it stays open.
    m_peer = connection;
    m_peer.registerVirtualObject(QLatin1String(objectPath), m_receiver);
    emit accepted();
}

bool PeerBus::start()
{
    if (!m_server->isConnected()) {
        return false;
    }
    DBusError error;
    dbus_error_init(&error);
    m_client = dbus_connection_open_private(m_server->address().toUtf8().constData(), &error);
    if (m_client == nullptr) {
        qWarning("PeerBus: %s", error.message);
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(m_client, FALSE);
    // A call that arrives before the receiver is registered on the new connection is lost.
    if (!m_peer.isConnected()) {
        QEventLoop loop;
        connect(this, &PeerBus::accepted, &loop, &QEventLoop::quit);
        QTimer::singleShot(deliveryTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return m_peer.isConnected() && deliver(newCall());
}

DBusMessage* PeerBus::newCall() const
{
    DBusMessage* message =
        dbus_message_new_method_call(nullptr, objectPath, interfaceName, methodName);
    if (message != nullptr) {
        dbus_message_set_no_reply(message, TRUE);
    }
    return message;
}

bool PeerBus::deliver(DBusMessage* message)
{
    if (message == nullptr) {
        return false;
    }
    const bool sent = dbus_connection_send(m_client, message, nullptr);
    dbus_message_unref(message);
    if (!sent) {
        return false;
    }
    dbus_connection_flush(m_client);
    const bool handled = waitForHandled(++m_sent, deliveryTimeoutMs);
    dropIncoming();
    return handled;
}

bool PeerBus::isConnected() const
{
    return m_client != nullptr && dbus_connection_get_is_connected(m_client);
}

bool PeerBus::waitForHandled(quint64 count, int timeoutMs)
{
    const auto reached = [this, count] { return m_receiver->handledCount() >= count; };
    QEventLoop loop;
    // Qt may hand the call to the receiver on its own bus thread, hence the queued connection.
    connect(
        m_receiver, &UnpackReceiver::handled, &loop,
        [&loop, reached] {
            if (reached()) {
                loop.quit();
            }
        },
        Qt::QueuedConnection);
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    if (!reached()) {
        loop.exec();
    }
    return reached();
}

// The server may answer (errors, for instance); nobody reads that, so it is thrown away.
void PeerBus::dropIncoming()
{
    dbus_connection_read_write(m_client, 0);
    while (DBusMessage* incoming = dbus_connection_pop_message(m_client)) {
        dbus_message_unref(incoming);
    }
}
