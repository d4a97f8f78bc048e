#pragma once

#include <QDBusConnection>
#include <QObject>

#include <dbus/dbus.h>

class QDBusServer;
class UnpackReceiver;

// A private peer-to-peer bus inside the process: a QDBusServer whose connections carry an
// UnpackReceiver at "/", and a raw libdbus client connection that sends it messages, so that
// what the receiver sees is real Qt D-Bus demarshalling output.
class PeerBus : public QObject
{
    Q_OBJECT
public:
    explicit PeerBus(QObject* parent = nullptr);
    ~PeerBus() override;

    // Connects the client and waits until a probe message has gone all the way through.
    bool start();
    // A method call to the receiver that expects no reply, ready for arguments.
    DBusMessage* newCall() const;
    // Sends and waits, never longer than a few seconds, until the receiver has handled it.
    bool deliver(DBusMessage* message);
    const UnpackReceiver* receiver() const { return m_receiver; }
    bool isConnected() const;

signals:
    void accepted();

private:
    void accept(const QDBusConnection& connection);
    bool waitForHandled(quint64 count, int timeoutMs);
    void dropIncoming();

    QDBusServer* m_server = nullptr;
    UnpackReceiver* m_receiver = nullptr;
    QDBusConnection m_peer;
    DBusConnection* m_client = nullptr;
    quint64 m_sent = 0;
};
