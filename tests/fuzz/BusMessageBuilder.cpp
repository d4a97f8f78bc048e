#include "BusMessageBuilder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QVariantMap>

#include <cstring>
#include <memory>

namespace {

// Well inside the bus's nesting limits (32 arrays, 32 structures, 64 in all with variants).
constexpr int maxDepth = 14;
constexpr int maxArguments = 4;
constexpr int maxElements = 6;
constexpr char basicTypes[] = "ybnqiuxtdsog";

struct DBusFree {
    void operator()(char* text) const { dbus_free(text); }
};

std::unique_ptr<char, DBusFree> currentSignature(DBusSignatureIter* type)
{
    return std::unique_ptr<char, DBusFree>(dbus_signature_iter_get_signature(type));
}

// Code points that libdbus accepts in a string: no NUL, no surrogates, no non-characters.
bool isAcceptedCodePoint(uint point)
{
    return point != 0 && (point < 0xD800 || point > 0xDFFF) && (point < 0xFDD0 || point > 0xFDEF) &&
           (point & 0xFFFE) != 0xFFFE && point < 0x110000;
}

template <typename T> QVariant plain(T value)
{
    return QVariant::fromValue(value);
}

} // namespace

BusMessageBuilder::BusMessageBuilder(FuzzedDataProvider& data) : m_data(data) {}

bool BusMessageBuilder::appendArguments(DBusMessage* message)
{
    DBusMessageIter out;
    dbus_message_iter_init_append(message, &out);
    const int count = m_data.ConsumeIntegralInRange(0, maxArguments);
    // Half of the messages lead with the dictionary the command service receives.
    const bool requestShaped = m_data.ConsumeBool();
    for (int i = 0; i < count; ++i) {
        const std::string signature =
            i == 0 && requestShaped ? std::string("a{sv}") : completeType(0);
        DBusSignatureIter type;
        dbus_signature_iter_init(&type, signature.c_str());
        QVariant expected;
        if (!appendValue(&out, &type, 0, expected)) {
            return false;
        }
        m_signatures.push_back(signature);
        m_expected.append(expected);
    }
    return true;
}

std::string BusMessageBuilder::completeType(int depth)
{
    --m_typeBudget;
    if (depth >= maxDepth || m_typeBudget <= 0 || m_data.ConsumeIntegralInRange(0, 2) == 0) {
        return std::string(1, basicType());
    }
    return containerType(depth);
}

std::string BusMessageBuilder::containerType(int depth)
{
    switch (m_data.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return "a" + completeType(depth + 1);
    case 1:
        return std::string("a{") + basicType() + completeType(depth + 1) + "}";
    case 2: {
        std::string fields = "(";
        const int count = m_data.ConsumeIntegralInRange(1, 4);
        for (int i = 0; i < count; ++i) {
            fields += completeType(depth + 1);
        }
        return fields + ")";
    }
    default:
        return "v";
    }
}

char BusMessageBuilder::basicType()
{
    return basicTypes[m_data.ConsumeIntegralInRange<size_t>(0, sizeof(basicTypes) - 2)];
}

bool BusMessageBuilder::appendValue(DBusMessageIter* out, DBusSignatureIter* type, int depth,
                                    QVariant& expected)
{
    --m_valueBudget;
    switch (dbus_signature_iter_get_current_type(type)) {
    case DBUS_TYPE_ARRAY:
        return appendArray(out, type, depth, expected);
    case DBUS_TYPE_STRUCT:
        return appendStruct(out, type, depth, expected);
    case DBUS_TYPE_VARIANT:
        return appendVariant(out, depth, expected);
    default:
        return appendBasic(out, dbus_signature_iter_get_current_type(type), expected);
    }
}

bool BusMessageBuilder::appendArray(DBusMessageIter* out, DBusSignatureIter* type, int depth,
                                    QVariant& expected)
{
    DBusSignatureIter element;
    dbus_signature_iter_recurse(type, &element);
    const auto elementSignature = currentSignature(&element);
    const int elementType = dbus_signature_iter_get_current_type(&element);
    DBusMessageIter array;
    if (!dbus_message_iter_open_container(out, DBUS_TYPE_ARRAY, elementSignature.get(), &array)) {
        return false;
    }
    QVariantList list;
    QVariantMap map;
    const int count = m_valueBudget > 0 ? m_data.ConsumeIntegralInRange(0, maxElements) : 0;
    for (int i = 0; i < count; ++i) {
        DBusSignatureIter each = element;
        QVariant value;
        const bool appended = elementType == DBUS_TYPE_DICT_ENTRY
                                  ? appendDictEntry(&array, &each, depth + 1, map)
                                  : appendValue(&array, &each, depth + 1, value);
        if (!appended) {
            dbus_message_iter_abandon_container(out, &array);
            return false;
        }
        list.append(value);
    }
    if (elementType == DBUS_TYPE_DICT_ENTRY) {
        expected = map;
    } else if (elementType == DBUS_TYPE_BYTE) {
        QByteArray bytes;
        for (const QVariant& value : qAsConst(list)) {
            bytes.append(static_cast<char>(value.value<uchar>()));
        }
        expected = bytes;
    } else {
        expected = list;
    }
    return dbus_message_iter_close_container(out, &array);
}

bool BusMessageBuilder::appendDictEntry(DBusMessageIter* out, DBusSignatureIter* type, int depth,
                                        QVariantMap& expected)
{
    DBusSignatureIter field;
    dbus_signature_iter_recurse(type, &field);
    DBusMessageIter entry;
    if (!dbus_message_iter_open_container(out, DBUS_TYPE_DICT_ENTRY, nullptr, &entry)) {
        return false;
    }
    QVariant key;
    QVariant value;
    const bool appended = appendBasic(&entry, dbus_signature_iter_get_current_type(&field), key) &&
                          dbus_signature_iter_next(&field) &&
                          appendValue(&entry, &field, depth + 1, value);
    if (!appended) {
        dbus_message_iter_abandon_container(out, &entry);
        return false;
    }
    // Keys that are not text are named by their text form; a repeated key keeps its last value.
    expected.insert(key.toString(), value);
    return dbus_message_iter_close_container(out, &entry);
}

bool BusMessageBuilder::appendStruct(DBusMessageIter* out, DBusSignatureIter* type, int depth,
                                     QVariant& expected)
{
    DBusSignatureIter field;
    dbus_signature_iter_recurse(type, &field);
    DBusMessageIter fields;
    if (!dbus_message_iter_open_container(out, DBUS_TYPE_STRUCT, nullptr, &fields)) {
        return false;
    }
    QVariantList list;
    do {
        QVariant value;
        if (!appendValue(&fields, &field, depth + 1, value)) {
            dbus_message_iter_abandon_container(out, &fields);
            return false;
        }
        list.append(value);
    } while (dbus_signature_iter_next(&field));
    expected = list;
    return dbus_message_iter_close_container(out, &fields);
}

bool BusMessageBuilder::appendVariant(DBusMessageIter* out, int depth, QVariant& expected)
{
    const std::string content = completeType(depth + 1);
    DBusMessageIter variant;
    if (!dbus_message_iter_open_container(out, DBUS_TYPE_VARIANT, content.c_str(), &variant)) {
        return false;
    }
    DBusSignatureIter type;
    dbus_signature_iter_init(&type, content.c_str());
    if (!appendValue(&variant, &type, depth + 1, expected)) {
        dbus_message_iter_abandon_container(out, &variant);
        return false;
    }
    return dbus_message_iter_close_container(out, &variant);
}

bool BusMessageBuilder::appendBasic(DBusMessageIter* out, int code, QVariant& expected)
{
    switch (code) {
    case DBUS_TYPE_BYTE: {
        const auto value = m_data.ConsumeIntegral<uchar>();
        expected = plain(value);
        return dbus_message_iter_append_basic(out, code, &value);
    }
    case DBUS_TYPE_BOOLEAN: {
        const dbus_bool_t value = m_data.ConsumeBool() ? TRUE : FALSE;
        expected = plain(value == TRUE);
        return dbus_message_iter_append_basic(out, code, &value);
    }
    case DBUS_TYPE_INT16: {
        const auto value = m_data.ConsumeIntegral<short>();
        expected = plain(value);
        return dbus_message_iter_append_basic(out, code, &value);
    }
    case DBUS_TYPE_UINT16: {
        const auto value = m_data.ConsumeIntegral<ushort>();
        expected = plain(value);
        return dbus_message_iter_append_basic(out, code, &value);
    }
    case DBUS_TYPE_INT32: {
        const auto value = m_data.ConsumeIntegral<int>();
        expected = plain(value);
        return dbus_message_iter_append_basic(out, code, &value);
    }
    case DBUS_TYPE_UINT32: {
        const auto value = m_data.ConsumeIntegral<uint>();
        expected = plain(value);
        return dbus_message_iter_append_basic(out, code, &value);
    }
    case DBUS_TYPE_INT64: {
        const auto value = m_data.ConsumeIntegral<qlonglong>();
        expected = plain(value);
        return dbus_message_iter_append_basic(out, code, &value);
    }
    case DBUS_TYPE_UINT64: {
        const auto value = m_data.ConsumeIntegral<qulonglong>();
        expected = plain(value);
        return dbus_message_iter_append_basic(out, code, &value);
    }
    case DBUS_TYPE_DOUBLE: {
        // Any eight bytes, NaNs and infinities included.
        const auto bits = m_data.ConsumeIntegral<quint64>();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        expected = plain(value);
        return dbus_message_iter_append_basic(out, code, &value);
    }
    case DBUS_TYPE_OBJECT_PATH: {
        const std::string path = objectPath();
        expected = QString::fromStdString(path);
        return appendText(out, code, path);
    }
    case DBUS_TYPE_SIGNATURE: {
        const std::string signature = m_data.ConsumeBool() ? completeType(maxDepth - 2) : "";
        expected = QString::fromStdString(signature);
        return appendText(out, code, signature);
    }
    default: {
        const std::string text = utf8Text();
        expected = QString::fromStdString(text);
        return appendText(out, DBUS_TYPE_STRING, text);
    }
    }
}

bool BusMessageBuilder::appendText(DBusMessageIter* out, int code, const std::string& text)
{
    const char* value = text.c_str();
    return dbus_message_iter_append_basic(out, code, &value);
}

std::string BusMessageBuilder::utf8Text()
{
    const std::string bytes = m_data.ConsumeRandomLengthString(48);
    QString text;
    // Mostly ASCII; a byte with the high bit set starts a code point from anywhere in Unicode.
    for (size_t i = 0; i < bytes.size(); ++i) {
        uint point = static_cast<uchar>(bytes[i]);
        if (point >= 0x80 && i + 2 < bytes.size()) {
            point = (point << 16 | static_cast<uchar>(bytes[i + 1]) << 8 |
                     static_cast<uchar>(bytes[i + 2])) %
                    0x110000;
            i += 2;
        }
        if (isAcceptedCodePoint(point)) {
            text += QString::fromUcs4(&point, 1);
        }
    }
    return text.toStdString();
}

std::string BusMessageBuilder::objectPath()
{
    static const char characters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    std::string path;
    const int elements = m_data.ConsumeIntegralInRange(0, 4);
    for (int e = 0; e < elements; ++e) {
        path += '/';
        const int length = m_data.ConsumeIntegralInRange(1, 8);
        for (int c = 0; c < length; ++c) {
            path += characters[m_data.ConsumeIntegralInRange<size_t>(0, sizeof(characters) - 2)];
        }
    }
    return path.empty() ? "/" : path;
}
