#include "BusLimits.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QStringList>

namespace {

qint64 utf8Length(const QString& text)
{
    qint64 length = 0;
    for (const QChar character : text) {
        const ushort unit = character.unicode();
        // A surrogate pair takes four bytes, two per half.
        length += unit < 0x80 ? 1 : unit < 0x800 || character.isSurrogate() ? 2 : 3;
    }
    return length;
}

// Walks a value as the bus library would marshal it: its position in the message for size and
// padding, and how many containers enclose it.
class Measure
{
public:
    qint64 size = 0;
    QString problem;

    // The value as a variant's content at `depth`: its signature, then the value.
    void variant(const QVariant& value, int depth)
    {
        if (!enter(depth)) {
            return;
        }
        const QString signature = signatureOf(value);
        if (signature.isEmpty()) {
            return;
        }
        size += 2 + signature.size();
        visit(value, depth + 1);
    }

    // The value itself at `depth`.
    void visit(const QVariant& value, int depth)
    {
        switch (static_cast<QMetaType::Type>(value.userType())) {
        case QMetaType::UChar:
            size += 1;
            return;
        case QMetaType::Short:
        case QMetaType::UShort:
            fixed(2);
            return;
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
            fixed(4);
            return;
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
            fixed(8);
            return;
        case QMetaType::QString:
            text(utf8Length(value.toString()));
            return;
        case QMetaType::QByteArray:
            text(value.toByteArray().size() - 1);
            return;
        case QMetaType::QStringList:
            list(value.toStringList(), depth);
            return;
        case QMetaType::QVariantList:
            list(value.toList(), depth);
            return;
        case QMetaType::QVariantMap:
            map(value.toMap(), depth);
            return;
        default:
            break;
        }
        if (value.userType() == qMetaTypeId<QDBusArgument>()) {
            argument(value.value<QDBusArgument>(), depth);
        } else if (value.userType() == qMetaTypeId<QDBusVariant>()) {
            variant(value.value<QDBusVariant>().variant(), depth);
        } else if (value.userType() == qMetaTypeId<QDBusObjectPath>()) {
            text(utf8Length(value.value<QDBusObjectPath>().path()));
        } else if (value.userType() == qMetaTypeId<QDBusSignature>()) {
            size += 2 + value.value<QDBusSignature>().signature().size();
        } else {
            // A file descriptor or a type the bus does not know, in a list or structure.
            signatureOf(value);
        }
    }

private:
    bool enter(int depth)
    {
        if (!problem.isEmpty()) {
            return false;
        }
        if (depth >= BusLimits::maximumDepth) {
            problem = QStringLiteral("is nested deeper than the bus carries");
            return false;
        }
        return true;
    }

    void align(int alignment) { size = (size + alignment - 1) / alignment * alignment; }

    void fixed(int bytes)
    {
        align(bytes);
        size += bytes;
    }

    void text(qint64 bytes)
    {
        fixed(4);
        size += bytes + 1;
    }

    template <typename List> void list(const List& elements, int depth)
    {
        if (!enter(depth)) {
            return;
        }
        fixed(4);
        for (const auto& element : elements) {
            variantOrText(element, depth + 1);
            if (!problem.isEmpty()) {
                return;
            }
        }
    }

    void variantOrText(const QVariant& element, int depth) { variant(element, depth); }
    void variantOrText(const QString& element, int) { text(utf8Length(element)); }

    void map(const QVariantMap& entries, int depth)
    {
        if (!enter(depth + 1)) {
            return;
        }
        fixed(4);
        for (auto it = entries.cbegin(); it != entries.cend() && problem.isEmpty(); ++it) {
            align(8);
            text(utf8Length(it.key()));
            variant(it.value(), depth + 2);
        }
    }

    // Data still marshalled as it came from a sibling; reading a copy leaves the original as
    // it is.
    void argument(const QDBusArgument& argument, int depth)
    {
        if (!enter(depth)) {
            return;
        }
        switch (argument.currentType()) {
        case QDBusArgument::ArrayType:
            fixed(4);
            argument.beginArray();
            elements(argument, depth + 1);
            argument.endArray();
            return;
        case QDBusArgument::MapType:
            fixed(4);
            argument.beginMap();
            while (!argument.atEnd() && problem.isEmpty() && enter(depth + 1)) {
                align(8);
                argument.beginMapEntry();
                elements(argument, depth + 2);
                argument.endMapEntry();
            }
            argument.endMap();
            return;
        case QDBusArgument::StructureType:
            align(8);
            argument.beginStructure();
            elements(argument, depth + 1);
            argument.endStructure();
            return;
        default:
            // Values taken from a sibling's answer are containers; anything else was decoded.
            return;
        }
    }

    void elements(const QDBusArgument& argument, int depth)
    {
        while (!argument.atEnd() && problem.isEmpty()) {
            const QVariant element = argument.asVariant();
            if (element.userType() == qMetaTypeId<QDBusVariant>()) {
                variant(element.value<QDBusVariant>().variant(), depth);
            } else {
                visit(element, depth);
            }
        }
    }

    // Empty, with the problem set, for what the bus cannot or must not carry.
    QString signatureOf(const QVariant& value)
    {
        switch (static_cast<QMetaType::Type>(value.userType())) {
        case QMetaType::UChar:
            return QStringLiteral("y");
        case QMetaType::Short:
            return QStringLiteral("n");
        case QMetaType::UShort:
            return QStringLiteral("q");
        case QMetaType::Bool:
            return QStringLiteral("b");
        case QMetaType::Int:
            return QStringLiteral("i");
        case QMetaType::UInt:
            return QStringLiteral("u");
        case QMetaType::LongLong:
            return QStringLiteral("x");
        case QMetaType::ULongLong:
            return QStringLiteral("t");
        case QMetaType::Double:
            return QStringLiteral("d");
        case QMetaType::QString:
            return QStringLiteral("s");
        case QMetaType::QByteArray:
            return QStringLiteral("ay");
        case QMetaType::QStringList:
            return QStringLiteral("as");
        case QMetaType::QVariantList:
            return QStringLiteral("av");
        case QMetaType::QVariantMap:
            return QStringLiteral("a{sv}");
        default:
            break;
        }
        if (value.userType() == qMetaTypeId<QDBusArgument>()) {
            return value.value<QDBusArgument>().currentSignature();
        }
        if (value.userType() == qMetaTypeId<QDBusVariant>()) {
            return QStringLiteral("v");
        }
        if (value.userType() == qMetaTypeId<QDBusObjectPath>()) {
            return QStringLiteral("o");
        }
        if (value.userType() == qMetaTypeId<QDBusSignature>()) {
            return QStringLiteral("g");
        }
        if (value.userType() == qMetaTypeId<QDBusUnixFileDescriptor>()) {
            problem = QStringLiteral("holds a unix file descriptor");
        } else {
            problem = QStringLiteral("holds a value the bus cannot carry (%1)")
                          .arg(value.isValid() ? QString::fromLatin1(value.typeName())
                                               : QStringLiteral("none"));
        }
        return {};
    }
};

} // namespace

QString BusLimits::problem(const QVariantMap& reply)
{
    Measure measure;
    measure.visit(reply, 0);
    if (measure.problem.isEmpty() && measure.size > maximumBodySize) {
        return QStringLiteral("takes %1 bytes, more than the bus carries in one message")
            .arg(measure.size);
    }
    return measure.problem;
}

qint64 BusLimits::elementSize(const QVariant& value)
{
    Measure measure;
    measure.variant(value, 1);
    // Its start in the list may need up to seven bytes of padding.
    return measure.size + 7;
}
