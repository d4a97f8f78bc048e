#pragma once

#include "Invocation.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace libdocumentmanager::detail {
class DocumentManager;
}

namespace detail {

// The service's road to document-manager: calls its client's methods by the names the command
// table gives. Operations that take `outcome` report there whether the client had the method and
// whether the sibling call completed.
class DocumentManagerProxy : public QObject
{
    Q_OBJECT
public:
    explicit DocumentManagerProxy(QObject* parent = nullptr);

    // Whether the client has an operation of that name to call, as a call by name decides it.
    static bool offers(const QString& name);

    void documentCmd(const QString& name, CallOutcome* outcome = nullptr) const;
    void documentCmd(const QString& name, const QList<QVariant>& args,
                     CallOutcome* outcome = nullptr) const;
    bool documentBoolCmd(const QString& name, CallOutcome* outcome = nullptr) const;
    bool documentBoolCmd(const QString& name, const QList<QVariant>& args,
                         CallOutcome* outcome = nullptr) const;
    // Every value of the answer as a list; its elements stay as they came off the bus.
    const QVariantMap documentListMapCmd(const QString& name, CallOutcome* outcome = nullptr) const;

signals:
    void connected();

private:
    // Created with the proxy, on its thread, and used there only.
    libdocumentmanager::detail::DocumentManager* m_client;
};

} // namespace detail
