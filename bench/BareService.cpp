#include "BareService.h"

#include "BenchRequests.h"
#include "libpivra/DBusArgumentUnpack.h"

#include <QDBusMessage>

BareService::BareService(QObject* parent) : QObject(parent) {}

QString BareService::kindOf(const QVariantMap& request)
{
    return request.value(ls::commandIdKey).toString() + QLatin1Char('/') +
           request.value(ls::subCommandIdKey).toString();
}

bool BareService::learnReplies(const QDBusConnection& bus, const QStringList& names)
{
    for (const QString& name : names) {
        const QVariantMap request = benchRequests::named(name);
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("com.vellorn.CommandHandler"), QStringLiteral("/"),
            QStringLiteral("com.vellorn.CommandHandler"), QStringLiteral("process"));
        call.setArguments({request});
        const QDBusMessage answer = bus.call(call);
        if (answer.arguments().isEmpty()) {
            return false;
        }
        // Kept as plain values, as the service holds its replies, not as the bus delivered them.
        const QVariantMap reply =
            libpivra::dbusValueUnpack(answer.arguments().constFirst()).toMap();
        if (reply.value(ls::resultIdKey) != ls::ResultId::Success) {
            return false;
        }
        m_replies.insert(kindOf(request), reply);
    }
    return true;
}

QVariantMap BareService::process(const QVariantMap& request) const
{
    return m_replies.value(kindOf(request), request);
}
