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
    // Cost grows no faster than the table when the per-command cost of the larger table stays
    // within the tolerance of the smaller one's; cheaper per command is fine too.
    static bool isLinear(double perCommandSmaller, double perCommandLarger, double tolerance);
    static QString word(bool met);
};
