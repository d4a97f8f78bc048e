#include "DocumentManagerProxy.h"

#include "DBusReplyUnpack.h"
#include "DocumentManager.h"
#include "Invocation.h"

#include <QLoggingCategory>
#include <QStringList>
#include <QtDebug>

namespace detail {

namespace {

const QLoggingCategory documentManagerCategory("DocumentManager", QtCriticalMsg);

using Client = libdocumentmanager::detail::DocumentManager;

void logDocuments(const QVariantList& documents)
{
    for (const QVariant& document : documents) {
        const QVariantMap entries = document.toMap();
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            qDebug() << "\t" << it.key() << ":" << it.value().toString();
        }
        qDebug() << "";
    }
}

} // namespace

DocumentManagerProxy::DocumentManagerProxy(QObject* parent)
    : QObject(parent), m_client(new Client(this))
{
    Client* documentManager = m_client;
    documentManager->setCheckConnection(false);
    connect(
        documentManager, &Client::connected, documentManager,
        [this] {
            qCDebug(documentManagerCategory) << "Connected to document-manager.";
            emit connected();
        },
        Qt::DirectConnection);
    connect(
        documentManager, &Client::disconnected, documentManager,
        [] { qCDebug(documentManagerCategory) << "Disconnected from document-manager."; },
        Qt::DirectConnection);
}

bool DocumentManagerProxy::offers(const QString& name)
{
    return declaresOperation(Client::staticMetaObject, name.toLocal8Bit());
}

void DocumentManagerProxy::documentCmd(const QString& name, CallOutcome* outcome) const
{
    invokeOperation(m_client, name, outcome, Qt::DirectConnection);
}

void DocumentManagerProxy::documentCmd(const QString& name, const QList<QVariant>& args,
                                       CallOutcome* outcome) const
{
    invokeOperation(m_client, name, outcome, Qt::DirectConnection, Q_ARG(QList<QVariant>, args));
}

bool DocumentManagerProxy::documentBoolCmd(const QString& name, CallOutcome* outcome) const
{
    bool result = false;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection, Q_RETURN_ARG(bool, result));
    qDebug().noquote() << result;
    return result;
}

bool DocumentManagerProxy::documentBoolCmd(const QString& name, const QList<QVariant>& args,
                                           CallOutcome* outcome) const
{
    bool result = false;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection, Q_RETURN_ARG(bool, result),
                    Q_ARG(QList<QVariant>, args));
    qDebug().noquote() << result;
    return result;
}

const QVariantMap DocumentManagerProxy::documentListMapCmd(const QString& name,
                                                           CallOutcome* outcome) const
{
    QVariantMap answer;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection,
                    Q_RETURN_ARG(QVariantMap, answer));
    QVariantMap result;
    const QStringList keys = answer.keys();
    for (const QString& key : keys) {
        qDebug() << "\033[1;4m" << key << "\n\033[0m";
        QVariantList documents = unpackList(answer.value(key));
        result.insert(key, documents);
        // Only the listing sees the unpacked maps; the caller gets the elements as they came.
        for (QVariant& document : documents) {
            document = unpackMap(document);
        }
        logDocuments(documents);
    }
    return result;
}

} // namespace detail
