#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

class SiblingLink;

namespace libspeech::detail {

// Client of the speech sibling (com.vellorn.Speech on the system bus).
// A client lives on the thread that creates it and is used from there only; clients on other
// threads may call their siblings at the same time.
class Speech : public QObject
{
    Q_OBJECT
public:
    explicit Speech(QObject* parent = nullptr);
    ~Speech() override;

    void setCheckConnection(bool check);
    // Why the last call did not complete (sibling, method and cause), empty when it did.
    QString lastCallFailure() const;

    Q_INVOKABLE void speak(QList<QVariant> args);
    Q_INVOKABLE void stop();
    Q_INVOKABLE void setRate(QList<QVariant> args);
    Q_INVOKABLE void setVolume(QList<QVariant> args);

signals:
    void connected();
    void disconnected();

private:
    SiblingLink* m_link = nullptr;
};

} // namespace libspeech::detail
