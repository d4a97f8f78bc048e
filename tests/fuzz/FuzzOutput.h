#pragma once

#include <QDebug>
#include <QString>

namespace fuzz {

// The harnesses run millions of inputs: the code under test logs, the fuzzer must not.
inline void silence(QtMsgType, const QMessageLogContext&, const QString&) {}

// A value as the logger would write it, for the report of a failing input.
template <typename T> QString describe(const T& value)
{
    QString text;
    QDebug(&text) << value;
    return text;
}

} // namespace fuzz
