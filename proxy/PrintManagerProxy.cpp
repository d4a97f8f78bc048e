#include "PrintManagerProxy.h"

#include "Invocation.h"
#include "PrintManager.h"

#include <QLoggingCategory>
#include <QtDebug>

namespace detail {

namespace {

const QLoggingCategory printManagerCategory("PrintManager", QtCriticalMsg);

using Client = libprintmanager::detail::PrintManager;

void logMap(const QVariantMap& map, const char* separator)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        qDebug().noquote() << it.key() << separator << it.value().toString();
    }
}

} // namespace

PrintManagerProxy::PrintManagerProxy(QObject* parent) : QObject(parent), m_client(new Client(this))
{
    Client* printManager = m_client;
    printManager->setCheckConnection(false);
    connect(
        printManager, &Client::connected, printManager,
        [this] {
            qCDebug(printManagerCategory) << "Connected to print-manager";
            emit connected();
        },
        Qt::DirectConnection);
    connect(
        printManager, &Client::disconnected, printManager,
        [] { qCDebug(printManagerCategory) << "Disconnected from print-manager"; },
        Qt::DirectConnection);
}

bool PrintManagerProxy::offers(const QString& name)
{
    return declaresOperation(Client::staticMetaObject, name.toLocal8Bit());
}

void PrintManagerProxy::paperFeedCmd(const QString& name, CallOutcome* outcome) const
{
    invokeOperation(m_client, name, outcome, Qt::AutoConnection);
}

void PrintManagerProxy::paperFeedCmd(const QString& name, const QList<QVariant>& args,
                                     CallOutcome* outcome) const
{
    invokeOperation(m_client, name, outcome, Qt::AutoConnection, Q_ARG(QList<QVariant>, args));
}

bool PrintManagerProxy::paperFeedBoolCmd(const QString& name, CallOutcome* outcome) const
{
    bool result = false;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection, Q_RETURN_ARG(bool, result));
    qDebug() << result;
    return result;
}

bool PrintManagerProxy::paperFeedBoolCmd(const QString& name, const QList<QVariant>& args,
                                         CallOutcome* outcome) const
{
    bool result = false;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection, Q_RETURN_ARG(bool, result),
                    Q_ARG(QList<QVariant>, args));
    qDebug() << result;
    return result;
}

int PrintManagerProxy::paperFeedIntCmd(const QString& name, CallOutcome* outcome) const
{
    int result = 0;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection, Q_RETURN_ARG(int, result));
    qDebug() << result;
    return result;
}

int PrintManagerProxy::paperFeedIntCmd(const QString& name, const QList<QVariant>& args,
                                       CallOutcome* outcome) const
{
    int result = 0;
    invokeOperation(m_client, name, outcome, Qt::DirectConnection, Q_RETURN_ARG(int, result),
                    Q_ARG(QList<QVariant>, args));
    qDebug() << result;
    return result;
}

QVariantMap PrintManagerProxy::runTestCmd(int test, int parameter, CallOutcome* outcome) const
{
    const QVariantMap result = m_client->runTestCmd(test, parameter);
    reportCall(m_client, outcome);
    logMap(result, "=");
    return result;
}

QVariantMap PrintManagerProxy::setIPCState(bool state, CallOutcome* outcome) const
{
    const QVariantMap result = m_client->setIPCState(state);
    reportCall(m_client, outcome);
    logMap(result, ":");
    return result;
}

} // namespace detail
