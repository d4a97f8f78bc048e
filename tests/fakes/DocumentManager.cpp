// In-process fake of the document-manager client for unit tests (see FakeRecorder.h).
#include "DocumentManager.h"

#include "FakeRecorder.h"

namespace libdocumentmanager::detail {

namespace {
FakeRecorder& recorder()
{
    return FakeRecorder::documentManager();
}
} // namespace

DocumentManager::DocumentManager(QObject* parent) : QObject(parent) {}

DocumentManager::~DocumentManager() = default;

// The fakes are always connected.
void DocumentManager::setCheckConnection(bool) {}

// The fakes' calls always complete.
QString DocumentManager::lastCallFailure() const
{
    return {};
}

QVariantMap DocumentManager::documents()
{
    return recorder().record(QStringLiteral("documents")).toMap();
}

void DocumentManager::selectDocument(QList<QVariant> args)
{
    recorder().record(QStringLiteral("selectDocument"), args);
}

bool DocumentManager::deleteDocument(QList<QVariant> args)
{
    return recorder().record(QStringLiteral("deleteDocument"), args).toBool();
}

bool DocumentManager::deleteAllDocuments()
{
    return recorder().record(QStringLiteral("deleteAllDocuments")).toBool();
}

void DocumentManager::startEmbossing()
{
    recorder().record(QStringLiteral("startEmbossing"));
}

void DocumentManager::pauseEmbossing()
{
    recorder().record(QStringLiteral("pauseEmbossing"));
}

void DocumentManager::resumeEmbossing()
{
    recorder().record(QStringLiteral("resumeEmbossing"));
}

void DocumentManager::cancelEmbossing()
{
    recorder().record(QStringLiteral("cancelEmbossing"));
}

void DocumentManager::setCopies(QList<QVariant> args)
{
    recorder().record(QStringLiteral("setCopies"), args);
}

} // namespace libdocumentmanager::detail
