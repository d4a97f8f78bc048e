#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace detail {

// The service's road to print-manager: calls its client's methods by the names the command
// table gives, plus the two typed calls of the IPC commands. Operations that take `invoked`
// report there whether the client had a method to call.
class PrintManagerProxy : public QObject
{
    Q_OBJECT
public:
    explicit PrintManagerProxy(QObject* parent = nullptr);

    void paperFeedCmd(const QString& name, bool* invoked = nullptr) const;
    void paperFeedCmd(const QString& name, const QList<QVariant>& args,
                      bool* invoked = nullptr) const;
    bool paperFeedBoolCmd(const QString& name, bool* invoked = nullptr) const;
    bool paperFeedBoolCmd(const QString& name, const QList<QVariant>& args,
                          bool* invoked = nullptr) const;
    int paperFeedIntCmd(const QString& name, bool* invoked = nullptr) const;
    int paperFeedIntCmd(const QString& name, const QList<QVariant>& args,
                        bool* invoked = nullptr) const;

    QVariantMap runTestCmd(int test, int parameter) const;
    QVariantMap setIPCState(bool state) const;

signals:
    void connected();
};

} // namespace detail
