#pragma once

#include <QHash>
#include <QObject>
#include <QVariantMap>

// The yardstick for the service's round trips: a plain Qt D-Bus object with the same method
// signature that does no work, so that what it costs is the bus and Qt D-Bus alone. process
// echoes the request. processPrimed answers with a reply primed for that request, so that the
// bus carries the same reply bytes as the real service's and the difference left is the
// service's own work.
class BareService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.BareBench")
public:
    static const QString serviceName;

    explicit BareService(QObject* parent = nullptr);

public slots:
    QVariantMap process(const QVariantMap& request);
    void prime(const QVariantMap& request, const QVariantMap& reply);
    QVariantMap processPrimed(const QVariantMap& request) const;

private:
    static QString primingKey(const QVariantMap& request);

    QHash<QString, QVariantMap> m_primed;
};
