#include "SimulatedSpeech.h"

namespace {
// Rate and volume are percentages of the synthesiser's range.
bool isPercentage(int value)
{
    return value >= 0 && value <= 100;
}
} // namespace

SimulatedSpeech::SimulatedSpeech(QObject* parent)
    : SimulatedSibling(siblings::of(siblings::speech), parent)
{
}

void SimulatedSpeech::speak(const QString& text)
{
    logCall("speak", {text});
    m_lastText = text;
    m_speaking = !text.isEmpty();
}

void SimulatedSpeech::stop()
{
    logCall("stop");
    m_speaking = false;
}

void SimulatedSpeech::setRate(int rate)
{
    logCall("setRate", {rate});
    if (isPercentage(rate)) {
        m_rate = rate;
    }
}

void SimulatedSpeech::setVolume(int volume)
{
    logCall("setVolume", {volume});
    if (isPercentage(volume)) {
        m_volume = volume;
    }
}

QVariantMap SimulatedSpeech::state()
{
    logCall("state");
    return {{QStringLiteral("lastText"), m_lastText},
            {QStringLiteral("speaking"), m_speaking},
            {QStringLiteral("rate"), m_rate},
            {QStringLiteral("volume"), m_volume}};
}
