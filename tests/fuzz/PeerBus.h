#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QVariantList>

#include <dbus/dbus.h>

#include <functional>

class QDBusServer;

// A private peer-to-peer bus inside the process: a QDBusServer whose connection carries this
// object at "/", and a raw libdbus client connection that sends it messages, so that what it
// takes in is real Qt D-Bus demarshalling output. Each argument of a call is unpacked with
// libpivra: as a value, and an a{sv} argument also the way the command service's adaptor
// receives it, as a request map.
class PeerBus : public QDBusVirtualObject
{
    Q_OBJECT
public:
    explicit PeerBus(QObject* parent = nullptr);
    ~PeerBus() override;

    // Connects the client and waits until a probe message has gone all the way through.
    bool start();
    // Sends a call to this object, takes the message, and waits until it has been handled.
    bool deliver(DBusMessage* message);
    // What the last call's arguments were unpacked to.
    const QVariantList& unpacked() const { return m_unpacked; }
    int argumentCount() const { return m_argumentCount; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString&) const override { return {}; }

private:
    // Runs the event loop until done() holds; gives up after a few seconds.
    static bool waitUntil(const std::function<bool()>& done);

    QDBusServer* m_server = nullptr;
    QDBusConnection m_peer{QString()};
    DBusConnection* m_client = nullptr;
    quint64 m_sent = 0;
    // Qt calls handleMessage in this object's thread, while deliver runs its event loop.
    QVariantList m_unpacked;
    int m_argumentCount = 0;
    quint64 m_handled = 0;
};
