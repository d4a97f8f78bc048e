#pragma once

#include <QString>

namespace ls {

// Measures spans per label; the elapsed time is a debug line of the "Timer" category.
class Timer
{
public:
    static void start(const QString& label);
    static void finish(const QString& label);
};

} // namespace ls
