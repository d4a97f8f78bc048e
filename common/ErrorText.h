#pragma once

#include <QString>

// A request that carries this entry set to true gets, on Failure, one more entry of the same name:
// why, in one line. Opt-in, because the device's own callers may compare reply maps whole.
inline const QString errorTextKey = QStringLiteral("errorText");

namespace errorText {

// How much of a caller's value a reason repeats.
constexpr int quotedCharacters = 64;

// A value a caller sent, as a reason or a log line repeats it: whole when short, otherwise its
// start, "…" and its full size ("AAAA… (12582912 characters)"). Quoted whole, one large value
// would make a reply larger than the bus carries, the more so as bytes that are no UTF-8 grow
// threefold as text.
inline QString shortened(const QString& value)
{
    if (value.size() <= quotedCharacters) {
        return value;
    }
    // Never half a surrogate pair: that is no character, and no valid text on the bus.
    const int kept =
        value.at(quotedCharacters - 1).isHighSurrogate() ? quotedCharacters - 1 : quotedCharacters;
    return QStringLiteral("%1… (%2 characters)").arg(value.left(kept)).arg(value.size());
}

} // namespace errorText
