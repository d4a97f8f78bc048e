#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// One connection to the command handler on the bus. Every call is a blocking call of its
// process method; bus containers in the reply are unpacked into plain Qt values.
class ServiceClient
{
public:
    struct Answer {
        QVariantMap reply;
        // Empty when the service answered; otherwise the bus error's name and message.
        QString busError;
    };

    // An empty address means the system bus (DBUS_SYSTEM_BUS_ADDRESS when it is set).
    ServiceClient(const QString& address, const QString& sender, int timeoutMs);
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    Answer categories() const;
    Answer commands(const QString& category) const;
    Answer run(int number, const QVariantList& arguments) const;

private:
    Answer call(QVariantMap request) const;

    QDBusConnection m_connection;
    QString m_sender;
    int m_timeoutMs;
};
