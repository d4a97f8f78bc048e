#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <optional>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;
class QTimer;

// The bus side of a sibling client: typed method calls on the sibling's object "/" (interface
// = bus name) on the system bus, and the state of the sibling's bus name. A failed call gives
// an invalid value and one error line; a sibling that hangs costs at most callTimeoutMs.
// A link lives on the thread that creates it (its client's) and is used from there only, apart
// from its static members, which any thread may use; links on different threads may call at once.
class SiblingLink : public QObject
{
    Q_OBJECT
public:
    static constexpr int callTimeoutMs = 2000;
    static constexpr int defaultCheckIntervalMs = 5000;

    explicit SiblingLink(const QString& service, QObject* parent = nullptr);

    // Whether the sibling's name had an owner when last seen.
    bool isConnected() const { return m_state == State::Connected; }

    // Periodically asks the bus whether the name has an owner, on top of the owner-change
    // signals (which a bus-daemon restart or a missed signal would not deliver).
    void setCheckConnection(bool check);

    // Calls the sibling's method with the arguments converted to the bus types given one
    // character each in argumentTypes ('i', 's', 'b'). Returns the reply's value when the
    // reply has replySignature, true for any reply when no signature is expected, and an
    // invalid value after one error line when the call fails.
    QVariant call(const QString& method, const QString& replySignature = QString(),
                  const QList<QVariant>& arguments = {},
                  const QString& argumentTypes = QString()) const;

    // Why the last call did not complete ("com.vellorn.Speech.speak failed: not on the bus"),
    // empty when it did.
    QString lastFailure() const { return m_lastFailure; }
    // How a failed call of a sibling's method is told, in the log and to a caller that asks why.
    static QString failure(const QString& service, const QString& method, const QString& reason);

    // The arguments as the bus types, or nothing (with the reason in *problem) when the count
    // differs or a value has no faithful conversion.
    static std::optional<QVariantList> toBusArguments(const QList<QVariant>& arguments,
                                                      const QString& argumentTypes,
                                                      QString* problem);

signals:
    void connected();
    void disconnected();

private:
    enum class State { Unknown, Connected, Disconnected };

    void onOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
    void checkOwner();
    void onOwnerChecked(QDBusPendingCallWatcher* watcher, quint64 ownerChangesBefore);
    void setState(State state);
    void fail(const QString& method, const QString& reason) const;

    QString m_service;
    QDBusServiceWatcher* m_watcher = nullptr;
    QTimer* m_checkTimer = nullptr;
    State m_state = State::Unknown;
    quint64 m_ownerChanges = 0;
    mutable QString m_lastFailure;
};
