#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class SiblingLink;

namespace libprintmanager::detail {

// Client of the print-manager sibling (com.vellorn.PrintManager on the system bus).
// A client lives on the thread that creates it and is used from there only; clients on other
// threads may call their siblings at the same time.
class PrintManager : public QObject
{
    Q_OBJECT
public:
    explicit PrintManager(QObject* parent = nullptr);
    ~PrintManager() override;

    void setCheckConnection(bool check);
    // Why the last call did not complete (sibling, method and cause), empty when it did.
    QString lastCallFailure() const;

    QVariantMap runTestCmd(int test, int parameter);
    QVariantMap setIPCState(bool state);

    Q_INVOKABLE void loadPaper();
    Q_INVOKABLE void ejectPaper();
    Q_INVOKABLE void feedLines(QList<QVariant> args);
    Q_INVOKABLE bool isPaperLoaded();
    Q_INVOKABLE int paperPosition();
    Q_INVOKABLE bool setPaperLength(QList<QVariant> args);

signals:
    void connected();
    void disconnected();

private:
    SiblingLink* m_link = nullptr;
};

} // namespace libprintmanager::detail
