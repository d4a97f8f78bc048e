#include "BusMessageBuilder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QVariantMap>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Well inside the bus's nesting limits (32 arrays, 32 structures, 64 in all with variants).
constexpr int maxDepth = 14;
constexpr int maxArguments = 4;
constexpr int maxElements = 6;
constexpr char basicTypes[] = "ybnqiuxtdsog";

// libdbus refuses an append only when out of memory; the run cannot go on then.
void check(dbus_bool_t ok)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_dbus_unpack: libdbus is out of memory\n");
        std::abort();
    }
}

template <typename Fill>
void inContainer(DBusMessageIter* out, int code, const char* signature, Fill fill)
{
    DBusMessageIter inner;
    check(dbus_message_iter_open_container(out, code, signature, &inner));
    fill(&inner);
    check(dbus_message_iter_close_container(out, &inner));
}

template <typename T> QVariant appendNumber(DBusMessageIter* out, int code, T value)
{
    check(dbus_message_iter_append_basic(out, code, &value));
    return QVariant::fromValue(value);
}

QVariant appendText(DBusMessageIter* out, int code, const std::string& text)
{
    const char* value = text.c_str();
    check(dbus_message_iter_append_basic(out, code, &value));
    return QString::fromStdString(text);
}

// Code points that libdbus accepts in a string: no NUL, no surrogates, no non-characters.
bool isAcceptedCodePoint(uint point)
{
    return point != 0 && (point < 0xD800 || point > 0xDFFF) && (point < 0xFDD0 || point > 0xFDEF) &&
           (point & 0xFFFE) != 0xFFFE && point < 0x110000;
}

} // namespace

BusMessageBuilder::BusMessageBuilder(FuzzedDataProvider& data) : m_data(data) {}

void BusMessageBuilder::appendArguments(DBusMessage* message)
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
        m_expected.append(appendValue(&out, &type, 0));
        m_signatures.push_back(signature);
    }
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

QVariant BusMessageBuilder::appendValue(DBusMessageIter* out, DBusSignatureIter* type, int depth)
{
    --m_valueBudget;
    switch (dbus_signature_iter_get_current_type(type)) {
    case DBUS_TYPE_ARRAY:
        return appendArray(out, type, depth);
    case DBUS_TYPE_STRUCT:
        return appendStruct(out, type, depth);
    case DBUS_TYPE_VARIANT:
        return appendVariant(out, depth);
    default:
        return appendBasic(out, dbus_signature_iter_get_current_type(type));
    }
}

QVariant BusMessageBuilder::appendArray(DBusMessageIter* out, DBusSignatureIter* type, int depth)
{
    DBusSignatureIter element;
    dbus_signature_iter_recurse(type, &element);
    const int elementType = dbus_signature_iter_get_current_type(&element);
    char* elementSignature = dbus_signature_iter_get_signature(&element);
    QVariantList list;
    QVariantMap map;
    QByteArray bytes;
    inContainer(out, DBUS_TYPE_ARRAY, elementSignature, [&](DBusMessageIter* array) {
        const int count = m_valueBudget > 0 ? m_data.ConsumeIntegralInRange(0, maxElements) : 0;
        for (int i = 0; i < count; ++i) {
            DBusSignatureIter field = element;
            if (elementType != DBUS_TYPE_DICT_ENTRY) {
                list.append(appendValue(array, &field, depth + 1));
                bytes.append(static_cast<char>(list.constLast().value<uchar>()));
                continue;
            }
            dbus_signature_iter_recurse(&element, &field);
            inContainer(array, DBUS_TYPE_DICT_ENTRY, nullptr, [&](DBusMessageIter* entry) {
                const QVariant key =
                    appendBasic(entry, dbus_signature_iter_get_current_type(&field));
                dbus_signature_iter_next(&field);
                // Keys that are not text are named by their text form; a repeated key keeps its
                // last value.
                map.insert(key.toString(), appendValue(entry, &field, depth + 2));
            });
        }
    });
    dbus_free(elementSignature);
    if (elementType == DBUS_TYPE_DICT_ENTRY) {
        return map;
    }
    return elementType == DBUS_TYPE_BYTE ? QVariant(bytes) : QVariant(list);
}

QVariant BusMessageBuilder::appendStruct(DBusMessageIter* out, DBusSignatureIter* type, int depth)
{
    DBusSignatureIter field;
    dbus_signature_iter_recurse(type, &field);
    QVariantList list;
    inContainer(out, DBUS_TYPE_STRUCT, nullptr, [&](DBusMessageIter* fields) {
        do {
            list.append(appendValue(fields, &field, depth + 1));
        } while (dbus_signature_iter_next(&field));
    });
    return list;
}

QVariant BusMessageBuilder::appendVariant(DBusMessageIter* out, int depth)
{
    const std::string content = completeType(depth + 1);
    DBusSignatureIter type;
    dbus_signature_iter_init(&type, content.c_str());
    QVariant expected;
    inContainer(out, DBUS_TYPE_VARIANT, content.c_str(), [&](DBusMessageIter* variant) {
        expected = appendValue(variant, &type, depth + 1);
    });
    return expected;
}

QVariant BusMessageBuilder::appendBasic(DBusMessageIter* out, int code)
{
    switch (code) {
    case DBUS_TYPE_BYTE:
        return appendNumber(out, code, m_data.ConsumeIntegral<uchar>());
    case DBUS_TYPE_BOOLEAN: {
        const dbus_bool_t value = m_data.ConsumeBool() ? TRUE : FALSE;
        check(dbus_message_iter_append_basic(out, code, &value));
        return value == TRUE;
    }
    case DBUS_TYPE_INT16:
        return appendNumber(out, code, m_data.ConsumeIntegral<short>());
    case DBUS_TYPE_UINT16:
        return appendNumber(out, code, m_data.ConsumeIntegral<ushort>());
    case DBUS_TYPE_INT32:
        return appendNumber(out, code, m_data.ConsumeIntegral<int>());
    case DBUS_TYPE_UINT32:
        return appendNumber(out, code, m_data.ConsumeIntegral<uint>());
    case DBUS_TYPE_INT64:
        return appendNumber(out, code, m_data.ConsumeIntegral<qlonglong>());
    case DBUS_TYPE_UINT64:
        return appendNumber(out, code, m_data.ConsumeIntegral<qulonglong>());
    case DBUS_TYPE_DOUBLE: {
        // Any eight bytes, NaNs and infinities included.
        const auto bits = m_data.ConsumeIntegral<quint64>();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return appendNumber(out, code, value);
    }
    case DBUS_TYPE_OBJECT_PATH:
        return appendText(out, code, objectPath());
    case DBUS_TYPE_SIGNATURE:
        return appendText(out, code, m_data.ConsumeBool() ? completeType(maxDepth - 2) : "");
    default:
        return appendText(out, DBUS_TYPE_STRING, utf8Text());
    }
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
    std::string path = "/";
    const int elements = m_data.ConsumeIntegralInRange(0, 4);
    for (int e = 0; e < elements; ++e) {
        path += e == 0 ? "" : "/";
        const int length = m_data.ConsumeIntegralInRange(1, 8);
        for (int c = 0; c < length; ++c) {
            path += characters[m_data.ConsumeIntegralInRange<size_t>(0, sizeof(characters) - 2)];
        }
    }
    return path;
}
