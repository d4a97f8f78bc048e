#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// What a command's argument says as the int or bool the command takes. Arguments arrive as bus
// integers of any width, as doubles (all that JSON has for a number), as booleans, or as text
// typed at a console. A value converts only when it says exactly one int or bool: a fraction,
// an overflow or a word like "yes" is refused rather than guessed at. The service, the client
// libraries and chctl all convert here, so that none of them lets through what another refuses.
class ArgumentConversion
{
public:
    // An integer of any width (the bus's byte included), text holding a decimal integer with
    // blanks around it allowed, or a finite whole double; within the range of a 32-bit int.
    static std::optional<int> toInt(const QVariant& value);
    // A boolean; true, false, 1 or 0 as text in any case, blanks around it allowed; or 1 or 0 as
    // an integer or a whole double.
    static std::optional<bool> toBool(const QVariant& value);
    // A word typed for an argument of the catalogue's type: an int or a bool for those types, the
    // word itself for any other; nothing when it does not convert.
    static std::optional<QVariant> fromWord(const QString& word, const QString& type);
    // Text as a sibling takes it: text, or a number or a boolean spelled out; nothing for a
    // list, a map or anything else that says no one text.
    static std::optional<QVariant> toText(const QVariant& value);
    // Whether the type is one of the three a value is converted to: int, bool or QString.
    static bool isArgumentType(const QString& type);
    // The value as the catalogue's type (int, bool or QString); nothing when it does not convert
    // or the type is none of these.
    static std::optional<QVariant> toType(const QVariant& value, const QString& type);
    // Why an argument was refused: "argument 1 (three) is no int", the value shortened as a
    // reason quotes a caller's value.
    static QString refusal(int position, const QVariant& value, const QString& type);
};
