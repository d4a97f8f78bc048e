#include "Verdict.h"

double Verdict::ratio(double measured, double baseline)
{
    return baseline > 0.0 && measured > 0.0 ? measured / baseline : 0.0;
}

bool Verdict::withinRatio(double measured, double baseline, double limit)
{
    const double value = ratio(measured, baseline);
    return value > 0.0 && value <= limit;
}

QString Verdict::word(bool met)
{
    return met ? QStringLiteral("PASS") : QStringLiteral("MISS");
}
