#include "ArgumentConversion.h"

#include "ErrorText.h"
#include "TableTexts.h"

#include <cmath>
#include <limits>

namespace {

constexpr int intMin = std::numeric_limits<int>::min();
constexpr int intMax = std::numeric_limits<int>::max();

// Integers are read as numbers, never through their text: QVariant spells a byte as the
// character it codes, so a byte of 51 would read as 3.
std::optional<int> fromSigned(qlonglong number)
{
    return number >= intMin && number <= intMax ? std::optional<int>(static_cast<int>(number))
                                                : std::nullopt;
}

std::optional<int> fromUnsigned(qulonglong number)
{
    return number <= static_cast<qulonglong>(intMax) ? std::optional<int>(static_cast<int>(number))
                                                     : std::nullopt;
}

std::optional<int> fromDouble(double real)
{
    // Checked before the cast, which is undefined for anything beyond int.
    if (!std::isfinite(real) || std::trunc(real) != real || real < intMin || real > intMax) {
        return std::nullopt;
    }
    return static_cast<int>(real);
}

bool isIntegral(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

std::optional<int> fromText(const QString& text)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(number) : std::nullopt;
}

} // namespace

std::optional<int> ArgumentConversion::toInt(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return fromSigned(value.toLongLong());
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return fromUnsigned(value.toULongLong());
    case QMetaType::Double:
        return fromDouble(value.toDouble());
    case QMetaType::QString:
        return fromText(value.toString());
    default:
        return std::nullopt;
    }
}

std::optional<bool> ArgumentConversion::toBool(const QVariant& value)
{
    switch (static_cast<QMetaType::Type>(value.userType())) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
            text == QLatin1String("1")) {
            return true;
        }
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 ||
            text == QLatin1String("0")) {
            return false;
        }
        return std::nullopt;
    }
    default: {
        // A number says a state only as exactly 1 or 0.
        const std::optional<int> number = toInt(value);
        return number == 1 || number == 0 ? std::optional<bool>(number == 1) : std::nullopt;
    }
    }
}

std::optional<QVariant> ArgumentConversion::fromWord(const QString& word, const QString& type)
{
    if (type == tableText::intType || type == tableText::boolType) {
        return toType(word, type);
    }
    return QVariant(word);
}

std::optional<QVariant> ArgumentConversion::toText(const QVariant& value)
{
    const int type = value.userType();
    const bool scalar = type == QMetaType::QString || type == QMetaType::QByteArray ||
                        isIntegral(value) || type == QMetaType::Bool || type == QMetaType::Double;
    if (!scalar) {
        return std::nullopt;
    }
    return QVariant(value.toString());
}

bool ArgumentConversion::isArgumentType(const QString& type)
{
    return type == tableText::intType || type == tableText::boolType || type == tableText::textType;
}

std::optional<QVariant> ArgumentConversion::toType(const QVariant& value, const QString& type)
{
    if (type == tableText::intType) {
        const std::optional<int> number = toInt(value);
        return number ? std::optional<QVariant>(*number) : std::nullopt;
    }
    if (type == tableText::boolType) {
        const std::optional<bool> state = toBool(value);
        return state ? std::optional<QVariant>(*state) : std::nullopt;
    }
    if (type == tableText::textType) {
        return toText(value);
    }
    return std::nullopt;
}

QString ArgumentConversion::refusal(int position, const QVariant& value, const QString& type)
{
    return QStringLiteral("argument %1 (%2) is no %3")
        .arg(position)
        .arg(errorText::shortened(value.toString()), type);
}
