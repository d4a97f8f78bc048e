#include "BareService.h"

#include "libpivra/DBusArgumentUnpack.h"
#include "ls/Keys.h"

const QString BareService::serviceName = QStringLiteral("com.vellorn.BareBench");

BareService::BareService(QObject* parent) : QObject(parent) {}

QVariantMap BareService::process(const QVariantMap& request)
{
    return request;
}

QString BareService::primingKey(const QVariantMap& request)
{
    return QStringLiteral("%1/%2/%3")
        .arg(request.value(ls::commandIdKey).toString(),
             request.value(ls::subCommandIdKey).toString(),
             request.value(ls::categoryKey).toString());
}

void BareService::prime(const QVariantMap& request, const QVariantMap& reply)
{
    // Kept as plain values, as the service holds its replies, not as the bus delivered them.
    m_primed.insert(primingKey(request), libpivra::dbusArgumentUnpack(reply));
}

QVariantMap BareService::processPrimed(const QVariantMap& request) const
{
    const auto primed = m_primed.constFind(primingKey(request));
    return primed != m_primed.constEnd() ? primed.value() : request;
}
