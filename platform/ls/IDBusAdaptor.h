#pragma once

#include <QObject>
#include <QVariantMap>

namespace ls {

// What the command processor and its bus adaptor both offer: one request in, one reply out,
// and a notification signal.
class IDBusAdaptor
{
public:
    virtual ~IDBusAdaptor() = default;
    virtual QVariantMap process(const QVariantMap& request) = 0;
    // Implementers declare this as a Qt signal.
    virtual void notification(const QVariantMap& notification) = 0;
};

} // namespace ls

#define IDBusAdaptor_iid "com.vellorn.IDBusAdaptor"
Q_DECLARE_INTERFACE(ls::IDBusAdaptor, IDBusAdaptor_iid)
