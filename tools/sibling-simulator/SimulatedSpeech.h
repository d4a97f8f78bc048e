#pragma once

#include "SimulatedSibling.h"

#include <QVariantMap>

// The speech service: what it was last asked to say, whether it is speaking, rate and volume.
class SimulatedSpeech : public SimulatedSibling
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellorn.Speech")
public:
    explicit SimulatedSpeech(QObject* parent = nullptr);

public slots:
    void speak(const QString& text);
    void stop();
    void setRate(int rate);
    void setVolume(int volume);
    QVariantMap state();

private:
    QString m_lastText;
    bool m_speaking = false;
    int m_rate = 50;
    int m_volume = 80;
};
