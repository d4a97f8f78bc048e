#include "DocumentManager.h"

#include "SiblingLink.h"
#include "Siblings.h"

#include <QDBusArgument>

namespace libdocumentmanager::detail {

DocumentManager::DocumentManager(QObject* parent)
    : QObject(parent),
      m_link(new SiblingLink(siblings::of(siblings::documentManager).busName, this))
{
    connect(m_link, &SiblingLink::connected, this, &DocumentManager::connected);
    connect(m_link, &SiblingLink::disconnected, this, &DocumentManager::disconnected);
}

DocumentManager::~DocumentManager() = default;

void DocumentManager::setCheckConnection(bool check)
{
    m_link->setCheckConnection(check);
}

QString DocumentManager::lastCallFailure() const
{
    return m_link->lastFailure();
}

QVariantMap DocumentManager::documents()
{
    // Only the outer dictionary is read: the caller unpacks the document lists itself.
    return qdbus_cast<QVariantMap>(
        m_link->call(QStringLiteral("documents"), QStringLiteral("a{sv}")));
}

void DocumentManager::selectDocument(QList<QVariant> args)
{
    m_link->call(QStringLiteral("selectDocument"), QString(), args, QStringLiteral("s"));
}

bool DocumentManager::deleteDocument(QList<QVariant> args)
{
    return m_link
        ->call(QStringLiteral("deleteDocument"), QStringLiteral("b"), args, QStringLiteral("s"))
        .toBool();
}

bool DocumentManager::deleteAllDocuments()
{
    return m_link->call(QStringLiteral("deleteAllDocuments"), QStringLiteral("b")).toBool();
}

void DocumentManager::startEmbossing()
{
    m_link->call(QStringLiteral("startEmbossing"));
}

void DocumentManager::pauseEmbossing()
{
    m_link->call(QStringLiteral("pauseEmbossing"));
}

void DocumentManager::resumeEmbossing()
{
    m_link->call(QStringLiteral("resumeEmbossing"));
}

void DocumentManager::cancelEmbossing()
{
    m_link->call(QStringLiteral("cancelEmbossing"));
}

void DocumentManager::setCopies(QList<QVariant> args)
{
    m_link->call(QStringLiteral("setCopies"), QString(), args, QStringLiteral("i"));
}

} // namespace libdocumentmanager::detail
