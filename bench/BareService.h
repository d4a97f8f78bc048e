#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QVariantMap>

// The yardstick for the service's calls: a plain Qt D-Bus object with the service's method that
// does no work but answer with the reply the service gave to the same kind of request. The bus
// carries the same bytes both ways, so what is left of the difference is the service's own work.
// As the forwarder it also makes the one sibling call behind FeedLines before it answers: the
// least a service can do for a device command, the yardstick for the instructions it executes.
class BareService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.CommandHandler")
public:
    explicit BareService(bool forwarding, QObject* parent = nullptr);

    // Asks the service once for each named request; false when one does not succeed, as the
    // bench would then compare against a failure.
    bool learnReplies(const QDBusConnection& bus, const QStringList& names);

public slots:
    QVariantMap process(const QVariantMap& request) const;

private:
    static QString kindOf(const QVariantMap& request);

    bool m_forwarding;
    QHash<QString, QVariantMap> m_replies;
};
