#pragma once

#include <QString>

// The report's targets: whether a measurement meets one, and the word the table shows for it.
class Verdict
{
public:
    // measured / baseline, or 0 without a usable baseline.
    static double ratio(double measured, double baseline);
    // A missing baseline or measurement never passes.
    static bool withinRatio(double measured, double baseline, double limit);
    static QString word(bool met);
};
