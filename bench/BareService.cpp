#include "BareService.h"

#include "BenchRequests.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusMessage>

BareService::BareService(bool forwarding, QObject* parent)
    : QObject(parent), m_forwarding(forwarding)
{
}

QString BareService::kindOf(const QVariantMap& request)
{
    return request.value(ls::commandIdKey).toString() + QLatin1Char('/') +
           request.value(ls::subCommandIdKey).toString();
}

bool BareService::learnReplies(const QDBusConnection& bus, const QStringList& names)
{
    for (const QString& name : names) {
        const QDBusMessage answer =
            bus.call(benchRequests::call(QStringLiteral("com.vellorn.CommandHandler"), name));
        if (answer.arguments().isEmpty()) {
            return false;
        }
        // Kept as plain values, as the service holds its replies, not as the bus delivered them.
        const QVariantMap reply =
            libpivra::dbusValueUnpack(answer.arguments().constFirst()).toMap();
        if (reply.value(ls::resultIdKey) != ls::ResultId::Success) {
            return false;
        }
        m_replies.insert(kindOf(benchRequests::named(name)), reply);
    }
    return true;
}

QVariantMap BareService::process(const QVariantMap& request) const
{
    if (m_forwarding && request.value(ls::subCommandIdKey).toInt() == 202) {
        const QVariantList args = libpivra::dbusValueUnpack(request.value(ls::argsKey)).toList();
        QDBusMessage call = benchRequests::call(benchRequests::direct, QStringLiteral("feed"));
        call.setArguments({args.value(0).toInt()});
        // Synchronous, with the service's time-out, as the service's client library calls.
        if (QDBusConnection::systemBus().call(call, QDBus::Block, 2000).type() !=
            QDBusMessage::ReplyMessage) {
            return {{ls::resultIdKey, ls::ResultId::Failure}};
        }
    }
    return m_replies.value(kindOf(request), request);
}
