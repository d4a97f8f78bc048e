#pragma once

#include <QByteArray>
#include <QMetaMethod>
#include <QMetaObject>
#include <QObject>
#include <QString>

namespace detail {

// How a call by name went: whether the client had a method of that name to call, and why the
// sibling call it made did not complete (empty when it did).
struct CallOutcome {
    bool invoked = false;
    QString failure;
};

// Whether the client class itself declares a method or slot of that name. What QObject offers
// (deleteLater, destroyed) and the client's signals are no backend operations: invoking them by a
// name from the command table would delete the client or fake its connection state.
inline bool declaresOperation(const QMetaObject& metaObject, const QByteArray& name)
{
    for (int index = metaObject.methodOffset(); index < metaObject.methodCount(); ++index) {
        const QMetaMethod method = metaObject.method(index);
        if (method.methodType() != QMetaMethod::Signal && method.name() == name) {
            return true;
        }
    }
    return false;
}

// Invokes one of the client's own operations by name and reports to a caller that asked how it
// went; the client tells why its last sibling call failed.
template <typename Client, typename... Arguments>
void invokeOperation(Client* client, const QString& name, CallOutcome* outcome,
                     Qt::ConnectionType type, Arguments... arguments)
{
    const QByteArray method = name.toLocal8Bit();
    const bool invoked = declaresOperation(Client::staticMetaObject, method) &&
                         QMetaObject::invokeMethod(client, method.constData(), type, arguments...);
    if (outcome != nullptr) {
        outcome->invoked = invoked;
        outcome->failure = invoked ? client->lastCallFailure() : QString();
    }
}

// The typed calls: the method is always there, only the sibling call can fail.
template <typename Client> void reportCall(const Client* client, CallOutcome* outcome)
{
    if (outcome != nullptr) {
        outcome->invoked = true;
        outcome->failure = client->lastCallFailure();
    }
}

} // namespace detail
