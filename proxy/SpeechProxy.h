#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

namespace detail {

// The service's road to the speech service: calls its client's methods by the names the
// command table gives. `invoked` receives whether the client had a method to call.
class SpeechProxy : public QObject
{
    Q_OBJECT
public:
    explicit SpeechProxy(QObject* parent = nullptr);

    void speechCmd(const QString& name, bool* invoked = nullptr) const;
    void speechCmd(const QString& name, const QList<QVariant>& args, bool* invoked = nullptr) const;

signals:
    void connected();
};

} // namespace detail
