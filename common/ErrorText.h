#pragma once

#include <QString>

// A request that carries this entry set to true gets, on Failure, one more entry of the same name:
// why, in one line. Opt-in, because the device's own callers may compare reply maps whole.
inline const QString errorTextKey = QStringLiteral("errorText");
