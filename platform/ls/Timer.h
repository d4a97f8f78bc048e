#pragma once

#include <QString>

namespace ls {

// Measures spans per label; the elapsed time is a debug line of the "Timer" category.
// Used from the main thread only: the spans of all labels share one unguarded table.
class Timer
{
public:
    static void start(const QString& label);
    static void finish(const QString& label);
};

} // namespace ls
