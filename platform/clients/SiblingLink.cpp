#include "SiblingLink.h"

#include "ArgumentConversion.h"
#include "TableTexts.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <QtDebug>

namespace {

// The bus types the clients give, one character each, by the catalogue's names of them.
QString typeName(QChar type)
{
    switch (type.toLatin1()) {
    case 'i':
        return tableText::intType;
    case 'b':
        return tableText::boolType;
    case 's':
        return tableText::textType;
    default:
        return QStringLiteral("unsupported type");
    }
}

QString describeError(const QDBusMessage& reply)
{
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        return QStringLiteral("not on the bus");
    }
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout")) {
        if (reply.errorMessage().contains(QLatin1String("disconnected"))) {
            return QStringLiteral("left the bus without answering");
        }
        return QStringLiteral("no answer within %1 ms").arg(SiblingLink::callTimeoutMs);
    }
    return name + QLatin1Char(' ') + reply.errorMessage();
}

} // namespace

SiblingLink::SiblingLink(const QString& service, QObject* parent)
    : QObject(parent), m_service(service)
{
    m_watcher = new QDBusServiceWatcher(m_service, QDBusConnection::systemBus(),
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &SiblingLink::onOwnerChanged);
    m_checkTimer = new QTimer(this);
    m_checkTimer->setInterval(defaultCheckIntervalMs);
    connect(m_checkTimer, &QTimer::timeout, this, &SiblingLink::checkOwner);
    // The link comes up once the bus has told whether the sibling is there already.
    checkOwner();
}

void SiblingLink::setCheckConnection(bool check)
{
    if (check) {
        m_checkTimer->start();
    } else {
        m_checkTimer->stop();
    }
}

void SiblingLink::onOwnerChanged(const QString& name, const QString& oldOwner,
                                 const QString& newOwner)
{
    Q_UNUSED(name)
    ++m_ownerChanges;
    // A restart that hands the name straight to a new process still breaks the old link.
    if (!oldOwner.isEmpty() && m_state == State::Connected) {
        setState(State::Disconnected);
    }
    setState(newOwner.isEmpty() ? State::Disconnected : State::Connected);
}

void SiblingLink::checkOwner()
{
    const QDBusMessage query =
        QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"))
        << m_service;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::systemBus().asyncCall(query, callTimeoutMs), this);
    const quint64 ownerChangesBefore = m_ownerChanges;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, ownerChangesBefore](QDBusPendingCallWatcher* finished) {
                onOwnerChecked(finished, ownerChangesBefore);
            });
}

void SiblingLink::onOwnerChecked(QDBusPendingCallWatcher* watcher, quint64 ownerChangesBefore)
{
    watcher->deleteLater();
    // An owner change seen while the question was out is newer than its answer.
    if (m_ownerChanges != ownerChangesBefore) {
        return;
    }
    const QDBusPendingReply<bool> reply = *watcher;
    // Without an answer from the bus itself the sibling cannot be reached either.
    setState(!reply.isError() && reply.value() ? State::Connected : State::Disconnected);
}

void SiblingLink::setState(State state)
{
    if (state == m_state) {
        return;
    }
    const State previous = m_state;
    m_state = state;
    if (state == State::Connected) {
        emit connected();
    } else if (previous == State::Connected) {
        emit disconnected();
    }
}

std::optional<QVariantList> SiblingLink::toBusArguments(const QList<QVariant>& arguments,
                                                        const QString& argumentTypes,
                                                        QString* problem)
{
    if (arguments.size() != argumentTypes.size()) {
        *problem = QStringLiteral("expects %1 argument(s), got %2")
                       .arg(argumentTypes.size())
                       .arg(arguments.size());
        return std::nullopt;
    }
    QVariantList converted;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString type = typeName(argumentTypes.at(i));
        const std::optional<QVariant> value = ArgumentConversion::toType(arguments.at(i), type);
        if (!value) {
            *problem = ArgumentConversion::refusal(i + 1, arguments.at(i), type);
            return std::nullopt;
        }
        converted.append(*value);
    }
    return converted;
}

QVariant SiblingLink::call(const QString& method, const QString& replySignature,
                           const QList<QVariant>& arguments, const QString& argumentTypes) const
{
    m_lastFailure.clear();
    QString problem;
    const std::optional<QVariantList> busArguments =
        toBusArguments(arguments, argumentTypes, &problem);
    if (!busArguments) {
        fail(method, problem);
        return QVariant();
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(m_service, QStringLiteral("/"), m_service, method);
    message.setArguments(*busArguments);
    // Waited for through a pending call rather than QDBusConnection::call: that one records
    // every outcome in the connection's last error without a lock, and clients calling from
    // several threads at once corrupt memory there.
    QDBusPendingCall pending = QDBusConnection::systemBus().asyncCall(message, callTimeoutMs);
    pending.waitForFinished();
    const QDBusMessage reply = pending.reply();
    if (reply.type() != QDBusMessage::ReplyMessage) {
        fail(method, describeError(reply));
        return QVariant();
    }
    // A call made for its effect alone succeeds with whatever the sibling answers.
    if (replySignature.isEmpty()) {
        return QVariant(true);
    }
    if (reply.signature() != replySignature) {
        fail(method, QStringLiteral("unexpected reply signature \"%1\", expected \"%2\"")
                         .arg(reply.signature(), replySignature));
        return QVariant();
    }
    return reply.arguments().constFirst();
}

QString SiblingLink::failure(const QString& service, const QString& method, const QString& reason)
{
    return QStringLiteral("%1.%2 failed: %3").arg(service, method, reason);
}

void SiblingLink::fail(const QString& method, const QString& reason) const
{
    m_lastFailure = failure(m_service, method, reason);
    qCritical().noquote() << "SiblingLink::call ERROR:" << m_lastFailure;
}
