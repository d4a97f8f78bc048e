#pragma once

#include <QList>
#include <QObject>
#include <QVariant>

class SiblingLink;

namespace libspeech::detail {

// Client of the speech sibling (com.vellorn.Speech on the system bus).
class Speech : public QObject
{
    Q_OBJECT
public:
    explicit Speech(QObject* parent = nullptr);
    ~Speech() override;

    void setCheckConnection(bool check);

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
