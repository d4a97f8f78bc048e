#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace detail {

// The service's road to document-manager: calls its client's methods by the names the command
// table gives. Operations that take `invoked` report there whether the client had a method to
// call.
class DocumentManagerProxy : public QObject
{
    Q_OBJECT
public:
    explicit DocumentManagerProxy(QObject* parent = nullptr);

    void documentCmd(const QString& name, bool* invoked = nullptr) const;
    void documentCmd(const QString& name, const QList<QVariant>& args,
                     bool* invoked = nullptr) const;
    bool documentBoolCmd(const QString& name, bool* invoked = nullptr) const;
    bool documentBoolCmd(const QString& name, const QList<QVariant>& args,
                         bool* invoked = nullptr) const;
    // Every value of the answer as a list; its elements stay as they came off the bus.
    const QVariantMap documentListMapCmd(const QString& name, bool* invoked = nullptr) const;

signals:
    void connected();
};

} // namespace detail
