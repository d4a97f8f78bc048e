#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class SiblingLink;

namespace libdocumentmanager::detail {

// Client of the document-manager sibling (com.vellorn.DocumentManager on the system bus).
// A client lives on the thread that creates it and is used from there only; clients on other
// threads may call their siblings at the same time.
class DocumentManager : public QObject
{
    Q_OBJECT
public:
    explicit DocumentManager(QObject* parent = nullptr);
    ~DocumentManager() override;

    void setCheckConnection(bool check);
    // Why the last call did not complete (sibling, method and cause), empty when it did.
    QString lastCallFailure() const;

    // The sibling's a{sv} reply as it came off the bus: list values stay QDBusArgument.
    Q_INVOKABLE QVariantMap documents();
    Q_INVOKABLE void selectDocument(QList<QVariant> args);
    Q_INVOKABLE bool deleteDocument(QList<QVariant> args);
    Q_INVOKABLE bool deleteAllDocuments();

    Q_INVOKABLE void startEmbossing();
    Q_INVOKABLE void pauseEmbossing();
    Q_INVOKABLE void resumeEmbossing();
    Q_INVOKABLE void cancelEmbossing();
    Q_INVOKABLE void setCopies(QList<QVariant> args);

signals:
    void connected();
    void disconnected();

private:
    SiblingLink* m_link = nullptr;
};

} // namespace libdocumentmanager::detail
