#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMap>
#include <QVariantMap>

#include <dbus/dbus.h>

#include <functional>

class QDBusServer;

// A private peer-to-peer bus inside the process: a QDBusServer whose connection carries this
// object at "/", and a raw libdbus client connection that sends it messages, so that what it
// takes in is real Qt D-Bus demarshalling output. It unpacks each call's arguments with
// libpivra::dbusArgumentUnpack: all of them as one map keyed "arg00", "arg01", ..., and each
// a{sv} argument also the way the command service's adaptor receives it, as a QVariantMap.
class PeerBus : public QDBusVirtualObject
{
    Q_OBJECT
public:
    struct Result {
        QVariantMap arguments;
        QMap<int, QVariantMap> requests;
    };

    explicit PeerBus(QObject* parent = nullptr);
    ~PeerBus() override;

    static QString argumentKey(int index);
    // A method call to this object that expects no reply, ready for arguments.
    static DBusMessage* newCall();

    // Connects the client and waits until a probe message has gone all the way through.
    bool start();
    // Sends, takes the message, and waits until it has been handled.
    bool deliver(DBusMessage* message);
    const Result& result() const { return m_result; }

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
    Result m_result;
    quint64 m_handled = 0;
};
