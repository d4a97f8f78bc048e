#include "UnpackReceiver.h"

#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QMutexLocker>

UnpackReceiver::UnpackReceiver(QObject* parent) : QDBusVirtualObject(parent) {}

QString UnpackReceiver::argumentKey(int index)
{
    return QStringLiteral("arg%1").arg(index, 2, 10, QLatin1Char('0'));
}

bool UnpackReceiver::handleMessage(const QDBusMessage& message, const QDBusConnection&)
{
    const QVariantList arguments = message.arguments();
    QVariantMap packed;
    QMap<int, QVariantMap> requests;
    for (int i = 0; i < arguments.size(); ++i) {
        packed.insert(argumentKey(i), arguments.at(i));
        // Reading a QDBusArgument held in a variant works on a copy, so it can be read again.
        if (arguments.at(i).userType() == qMetaTypeId<QDBusArgument>() &&
            arguments.at(i).value<QDBusArgument>().currentSignature() == QLatin1String("a{sv}")) {
            requests.insert(i, libpivra::dbusArgumentUnpack(qdbus_cast<QVariantMap>(
                                   arguments.at(i).value<QDBusArgument>())));
        }
    }
    const QVariantMap unpacked = libpivra::dbusArgumentUnpack(packed);
    {
        QMutexLocker lock(&m_mutex);
        m_unpacked = unpacked;
        m_unpackedRequests = requests;
    }
    ++m_handled;
    emit handled();
    return true;
}

QString UnpackReceiver::introspect(const QString&) const
{
    return {};
}

QVariantMap UnpackReceiver::unpacked() const
{
    QMutexLocker lock(&m_mutex);
    return m_unpacked;
}

QMap<int, QVariantMap> UnpackReceiver::unpackedRequests() const
{
    QMutexLocker lock(&m_mutex);
    return m_unpackedRequests;
}
