#pragma once

#include <QDBusVirtualObject>
#include <QMap>
#include <QMutex>
#include <QVariantMap>

#include <atomic>

// Takes every call on its path as Qt D-Bus demarshalled it and unpacks the arguments with
// libpivra::dbusArgumentUnpack: all of them as one map keyed "arg00", "arg01", ..., and each
// a{sv} argument also the way the command service's adaptor receives it, as a QVariantMap.
// Qt may deliver on its bus thread, so the results are guarded and counted.
class UnpackReceiver : public QDBusVirtualObject
{
    Q_OBJECT
public:
    explicit UnpackReceiver(QObject* parent = nullptr);

    static QString argumentKey(int index);

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString& path) const override;

    quint64 handledCount() const { return m_handled.load(); }
    QVariantMap unpacked() const;
    QMap<int, QVariantMap> unpackedRequests() const;

signals:
    void handled();

private:
    mutable QMutex m_mutex;
    QVariantMap m_unpacked;
    QMap<int, QVariantMap> m_unpackedRequests;
    std::atomic<quint64> m_handled{0};
};
