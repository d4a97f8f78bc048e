#pragma once

#include "Invocation.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace libprintmanager::detail {
class PrintManager;
}

namespace detail {

// The service's road to print-manager: calls its client's methods by the names the command
// table gives, plus the two typed calls of the IPC commands. Operations that take `outcome`
// report there whether the client had the method and whether the sibling call completed.
class PrintManagerProxy : public QObject
{
    Q_OBJECT
public:
    explicit PrintManagerProxy(QObject* parent = nullptr);

    // Whether the client has an operation of that name to call, as a call by name decides it.
    static bool offers(const QString& name);

    void paperFeedCmd(const QString& name, CallOutcome* outcome = nullptr) const;
    void paperFeedCmd(const QString& name, const QList<QVariant>& args,
                      CallOutcome* outcome = nullptr) const;
    bool paperFeedBoolCmd(const QString& name, CallOutcome* outcome = nullptr) const;
    bool paperFeedBoolCmd(const QString& name, const QList<QVariant>& args,
                          CallOutcome* outcome = nullptr) const;
    int paperFeedIntCmd(const QString& name, CallOutcome* outcome = nullptr) const;
    int paperFeedIntCmd(const QString& name, const QList<QVariant>& args,
                        CallOutcome* outcome = nullptr) const;

    QVariantMap runTestCmd(int test, int parameter, CallOutcome* outcome = nullptr) const;
    QVariantMap setIPCState(bool state, CallOutcome* outcome = nullptr) const;

signals:
    void connected();

private:
    // Created with the proxy, on its thread, and used there only.
    libprintmanager::detail::PrintManager* m_client;
};

} // namespace detail
