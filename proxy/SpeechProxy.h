#pragma once

#include "Invocation.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

namespace libspeech::detail {
class Speech;
}

namespace detail {

// The service's road to the speech service: calls its client's methods by the names the
// command table gives. `outcome` receives whether the client had the method and whether the
// sibling call completed.
class SpeechProxy : public QObject
{
    Q_OBJECT
public:
    explicit SpeechProxy(QObject* parent = nullptr);

    // Whether the client has an operation of that name to call, as a call by name decides it.
    static bool offers(const QString& name);

    void speechCmd(const QString& name, CallOutcome* outcome = nullptr) const;
    void speechCmd(const QString& name, const QList<QVariant>& args,
                   CallOutcome* outcome = nullptr) const;

signals:
    void connected();

private:
    // Created with the proxy, on its thread, and used there only.
    libspeech::detail::Speech* m_client;
};

} // namespace detail
