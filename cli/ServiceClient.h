#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// One connection to the command handler on the bus. Every command is a blocking call of its
// process method, asking for the reason of a failure in words; the status is read with one call
// of GetAll. Bus containers in the answer are unpacked into plain Qt values.
class ServiceClient
{
public:
    struct Answer {
        QVariantMap reply;
        // Empty when the service answered; otherwise why not, in one line for the technician:
        // what access is needed when the bus refused it, that the time-out passed, the bus
        // error's name and message otherwise.
        QString busError;
        // The time-out passed without an answer: the service may still be carrying the
        // command out, unlike when it is not on the bus.
        bool timedOut = false;
    };

    // An empty address means the system bus (DBUS_SYSTEM_BUS_ADDRESS when it is set).
    ServiceClient(const QString& address, const QString& sender, int timeoutMs);
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    Answer categories() const;
    Answer commands(const QString& category) const;
    Answer run(int number, const QVariantList& arguments) const;
    // The reply holds the status's properties by name.
    Answer status() const;

private:
    Answer call(QVariantMap request) const;
    Answer ask(const QDBusMessage& message) const;
    static QString unreachable(const QString& errorName, const QString& errorMessage);
    QString noReply() const;

    QDBusConnection m_connection;
    QString m_sender;
    int m_timeoutMs;
};
