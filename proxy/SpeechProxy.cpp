#include "SpeechProxy.h"

#include "Invocation.h"
#include "Speech.h"

#include <QLoggingCategory>
#include <QtDebug>

namespace detail {

namespace {

const QLoggingCategory speechCategory("Speech", QtCriticalMsg);

using Client = libspeech::detail::Speech;

} // namespace

SpeechProxy::SpeechProxy(QObject* parent) : QObject(parent), m_client(new Client(this))
{
    Client* speech = m_client;
    speech->setCheckConnection(false);
    connect(
        speech, &Client::connected, speech,
        [this] {
            qCDebug(speechCategory) << "Connected to speech";
            emit connected();
        },
        Qt::DirectConnection);
    connect(
        speech, &Client::disconnected, speech,
        [] { qCDebug(speechCategory) << "Disconnected from speech"; }, Qt::DirectConnection);
}

bool SpeechProxy::offers(const QString& name)
{
    return declaresOperation(Client::staticMetaObject, name.toLocal8Bit());
}

void SpeechProxy::speechCmd(const QString& name, CallOutcome* outcome) const
{
    invokeOperation(m_client, name, outcome, Qt::AutoConnection);
}

void SpeechProxy::speechCmd(const QString& name, const QList<QVariant>& args,
                            CallOutcome* outcome) const
{
    invokeOperation(m_client, name, outcome, Qt::AutoConnection, Q_ARG(QList<QVariant>, args));
}

} // namespace detail
