#pragma once

#include "SimulatedSibling.h"

#include <QList>
#include <QVariantMap>

// The document-manager: the stored documents, the one chosen for embossing, the number of
// copies and the embossing job's state.
class SimulatedDocumentManager : public SimulatedSibling
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.DocumentManager")
public:
    explicit SimulatedDocumentManager(QObject* parent = nullptr);

public slots:
    QVariantMap documents();
    // Both refuse an unknown document with a bus error.
    void selectDocument(const QString& documentId);
    bool deleteDocument(const QString& documentId);
    bool deleteAllDocuments();
    void startEmbossing();
    void pauseEmbossing();
    void resumeEmbossing();
    void cancelEmbossing();
    void setCopies(int copies);
    QVariantMap state();

private:
    int indexOf(const QString& documentId) const;
    void setEmbossing(const QString& from, const QString& to);

    QList<QVariantMap> m_documents;
    QString m_selected;
    int m_copies = 1;
    QString m_embossing = QStringLiteral("idle");
};
