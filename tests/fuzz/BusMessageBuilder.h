#pragma once

#include <QVariant>
#include <QVariantList>

#include <string>
#include <vector>

#include <dbus/dbus.h>

class FuzzedDataProvider;

// Builds the body of a bus message from fuzzer bytes with libdbus: nested arrays, dictionaries,
// structures and variants of every basic type except file descriptors, always within the bus's
// limits so that libdbus accepts it. Alongside it records the plain Qt value each argument must
// unpack to.
class BusMessageBuilder
{
public:
    explicit BusMessageBuilder(FuzzedDataProvider& data);

    void appendArguments(DBusMessage* message);

    const QVariantList& expected() const { return m_expected; }
    // The complete type of each top-level argument, in order.
    const std::vector<std::string>& signatures() const { return m_signatures; }

private:
    std::string completeType(int depth);
    std::string containerType(int depth);
    char basicType();
    QVariant appendValue(DBusMessageIter* out, DBusSignatureIter* type, int depth);
    QVariant appendArray(DBusMessageIter* out, DBusSignatureIter* type, int depth);
    QVariant appendStruct(DBusMessageIter* out, DBusSignatureIter* type, int depth);
    QVariant appendVariant(DBusMessageIter* out, int depth);
    QVariant appendBasic(DBusMessageIter* out, int code);
    std::string utf8Text();
    std::string objectPath();

    FuzzedDataProvider& m_data;
    // Bound the size of the types and of the values of one message, whatever the nesting.
    int m_typeBudget = 48;
    int m_valueBudget = 192;
    QVariantList m_expected;
    std::vector<std::string> m_signatures;
};
