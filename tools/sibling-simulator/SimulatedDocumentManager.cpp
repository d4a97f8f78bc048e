#include "SimulatedDocumentManager.h"

#include <QStringList>
#include <QtDebug>

namespace {
constexpr int mostCopies = 99;

QVariantMap document(const QString& id, const QString& name, int pages)
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("name"), name},
            {QStringLiteral("pages"), pages}};
}

QString unknownDocument(const QString& documentId)
{
    return QStringLiteral("unknown document \"%1\"").arg(documentId);
}
} // namespace

SimulatedDocumentManager::SimulatedDocumentManager(QObject* parent)
    : SimulatedSibling(siblings::of(siblings::documentManager), parent),
      m_documents{document(QStringLiteral("doc-1"), QStringLiteral("Welcome letter"), 2),
                  document(QStringLiteral("doc-2"), QStringLiteral("Train timetable"), 5),
                  document(QStringLiteral("doc-3"), QStringLiteral("Recipe book"), 12)}
{
}

QVariantMap SimulatedDocumentManager::documents()
{
    logCall("documents");
    // Each document travels as a variant so that the list is an av, the shape the command
    // handler unpacks.
    QVariantList list;
    for (const QVariantMap& entry : qAsConst(m_documents)) {
        list.append(QVariant(entry));
    }
    return {{QStringLiteral("documents"), list}};
}

void SimulatedDocumentManager::selectDocument(const QString& documentId)
{
    logCall("selectDocument", {documentId});
    if (indexOf(documentId) < 0) {
        refuse(unknownDocument(documentId));
        return;
    }
    m_selected = documentId;
}

bool SimulatedDocumentManager::deleteDocument(const QString& documentId)
{
    logCall("deleteDocument", {documentId});
    const int index = indexOf(documentId);
    if (index < 0) {
        refuse(unknownDocument(documentId));
        return false;
    }
    m_documents.removeAt(index);
    if (m_selected == documentId) {
        m_selected.clear();
    }
    return true;
}

bool SimulatedDocumentManager::deleteAllDocuments()
{
    logCall("deleteAllDocuments");
    m_documents.clear();
    m_selected.clear();
    return true;
}

void SimulatedDocumentManager::startEmbossing()
{
    logCall("startEmbossing");
    if (m_selected.isEmpty()) {
        qInfo().noquote() << name() + QStringLiteral(": no document selected");
        return;
    }
    setEmbossing(QStringLiteral("idle"), QStringLiteral("embossing"));
}

void SimulatedDocumentManager::pauseEmbossing()
{
    logCall("pauseEmbossing");
    setEmbossing(QStringLiteral("embossing"), QStringLiteral("paused"));
}

void SimulatedDocumentManager::resumeEmbossing()
{
    logCall("resumeEmbossing");
    setEmbossing(QStringLiteral("paused"), QStringLiteral("embossing"));
}

void SimulatedDocumentManager::cancelEmbossing()
{
    logCall("cancelEmbossing");
    m_embossing = QStringLiteral("idle");
}

void SimulatedDocumentManager::setCopies(int copies)
{
    logCall("setCopies", {copies});
    if (copies >= 1 && copies <= mostCopies) {
        m_copies = copies;
    }
}

QVariantMap SimulatedDocumentManager::state()
{
    logCall("state");
    QStringList ids;
    for (const QVariantMap& entry : qAsConst(m_documents)) {
        ids.append(entry.value(QStringLiteral("id")).toString());
    }
    return {{QStringLiteral("documentIds"), ids},
            {QStringLiteral("selectedDocument"), m_selected},
            {QStringLiteral("copies"), m_copies},
            {QStringLiteral("embossing"), m_embossing}};
}

int SimulatedDocumentManager::indexOf(const QString& documentId) const
{
    for (int i = 0; i < m_documents.size(); ++i) {
        if (m_documents.at(i).value(QStringLiteral("id")).toString() == documentId) {
            return i;
        }
    }
    return -1;
}

// A job only moves along its own path: idle -> embossing <-> paused; cancel goes to idle.
void SimulatedDocumentManager::setEmbossing(const QString& from, const QString& to)
{
    if (m_embossing == from) {
        m_embossing = to;
    }
}
