#include "PeerBus.h"

#include "libpivra/DBusArgumentUnpack.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusServer>
#include <QTimer>

PeerBus::PeerBus(QObject* parent) : QDBusVirtualObject(parent), m_server(new QDBusServer(this))
{
    connect(m_server, &QDBusServer::newConnection, this, [this](const QDBusConnection& peer) {
        // One client only; the connection is kept so that it stays open.
        m_peer = peer;
        m_peer.registerVirtualObject(QStringLiteral("/"), this);
    });
}

PeerBus::~PeerBus()
{
    if (m_client != nullptr) {
        dbus_connection_close(m_client);
        dbus_connection_unref(m_client);
    }
}

bool PeerBus::start()
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

bool PeerBus::deliver(DBusMessage* message)
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
    // The server may answer (errors, for instance); nobody reads that, so it is thrown away.
    dbus_connection_read_write(m_client, 0);
    while (DBusMessage* incoming = dbus_connection_pop_message(m_client)) {
        dbus_message_unref(incoming);
    }
    return handled;
}

bool PeerBus::handleMessage(const QDBusMessage& message, const QDBusConnection&)
{
    m_unpacked.clear();
    m_argumentCount = message.arguments().size();
    for (const QVariant& argument : message.arguments()) {
        m_unpacked.append(libpivra::dbusValueUnpack(argument));
        // Reading a QDBusArgument held in a variant works on a copy, so it can be read again.
        if (argument.userType() == qMetaTypeId<QDBusArgument>() &&
            argument.value<QDBusArgument>().currentSignature() == QLatin1String("a{sv}")) {
            m_unpacked.append(libpivra::dbusArgumentUnpack(
                qdbus_cast<QVariantMap>(argument.value<QDBusArgument>())));
        }
    }
    ++m_handled;
    return true;
}

bool PeerBus::waitUntil(const std::function<bool()>& done)
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
