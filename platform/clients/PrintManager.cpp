#include "PrintManager.h"

#include "SiblingLink.h"
#include "Siblings.h"

#include <QDBusArgument>

namespace libprintmanager::detail {

PrintManager::PrintManager(QObject* parent)
    : QObject(parent), m_link(new SiblingLink(siblings::of(siblings::printManager).busName, this))
{
    connect(m_link, &SiblingLink::connected, this, &PrintManager::connected);
    connect(m_link, &SiblingLink::disconnected, this, &PrintManager::disconnected);
}

PrintManager::~PrintManager() = default;

void PrintManager::setCheckConnection(bool check)
{
    m_link->setCheckConnection(check);
}

QString PrintManager::lastCallFailure() const
{
    return m_link->lastFailure();
}

QVariantMap PrintManager::runTestCmd(int test, int parameter)
{
    return qdbus_cast<QVariantMap>(m_link->call(QStringLiteral("runTestCmd"),
                                                QStringLiteral("a{sv}"), {test, parameter},
                                                QStringLiteral("ii")));
}

QVariantMap PrintManager::setIPCState(bool state)
{
    return qdbus_cast<QVariantMap>(m_link->call(
        QStringLiteral("setIPCState"), QStringLiteral("a{sv}"), {state}, QStringLiteral("b")));
}

void PrintManager::loadPaper()
{
    m_link->call(QStringLiteral("loadPaper"));
}

void PrintManager::ejectPaper()
{
    m_link->call(QStringLiteral("ejectPaper"));
}

void PrintManager::feedLines(QList<QVariant> args)
{
    m_link->call(QStringLiteral("feedLines"), QString(), args, QStringLiteral("i"));
}

bool PrintManager::isPaperLoaded()
{
    return m_link->call(QStringLiteral("isPaperLoaded"), QStringLiteral("b")).toBool();
}

int PrintManager::paperPosition()
{
    return m_link->call(QStringLiteral("paperPosition"), QStringLiteral("i")).toInt();
}

bool PrintManager::setPaperLength(QList<QVariant> args)
{
    return m_link
        ->call(QStringLiteral("setPaperLength"), QStringLiteral("b"), args, QStringLiteral("i"))
        .toBool();
}

} // namespace libprintmanager::detail
