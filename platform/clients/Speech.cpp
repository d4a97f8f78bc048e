#include "Speech.h"

#include "SiblingLink.h"
#include "Siblings.h"

namespace libspeech::detail {

Speech::Speech(QObject* parent)
    : QObject(parent), m_link(new SiblingLink(siblings::of(siblings::speech).busName, this))
{
    connect(m_link, &SiblingLink::connected, this, &Speech::connected);
    connect(m_link, &SiblingLink::disconnected, this, &Speech::disconnected);
}

Speech::~Speech() = default;

void Speech::setCheckConnection(bool check)
{
    m_link->setCheckConnection(check);
}

QString Speech::lastCallFailure() const
{
    return m_link->lastFailure();
}

void Speech::speak(QList<QVariant> args)
{
    m_link->call(QStringLiteral("speak"), QString(), args, QStringLiteral("s"));
}

void Speech::stop()
{
    m_link->call(QStringLiteral("stop"));
}

void Speech::setRate(QList<QVariant> args)
{
    m_link->call(QStringLiteral("setRate"), QString(), args, QStringLiteral("i"));
}

void Speech::setVolume(QList<QVariant> args)
{
    m_link->call(QStringLiteral("setVolume"), QString(), args, QStringLiteral("i"));
}

} // namespace libspeech::detail
