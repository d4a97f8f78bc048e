#include "SimulatedSibling.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QStringList>
#include <QThread>
#include <QtDebug>

#include <unistd.h>

namespace {
QString describe(const QVariant& value)
{
    if (value.userType() == QMetaType::QString) {
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    }
    return value.toString();
}
} // namespace

SimulatedSibling::SimulatedSibling(const Sibling& sibling, QObject* parent)
    : QObject(parent), m_sibling(sibling)
{
}

void SimulatedSibling::logCall(const char* method, const QVariantList& arguments)
{
    QStringList described;
    for (const QVariant& argument : arguments) {
        described.append(describe(argument));
    }
    qInfo().noquote() << QStringLiteral("%1: %2(%3)")
                             .arg(m_sibling.name, QLatin1String(method),
                                  described.join(QStringLiteral(", ")));
    if (m_delayMs > 0) {
        QThread::msleep(static_cast<unsigned long>(m_delayMs));
    }
    answerWithFault();
}

void SimulatedSibling::refuse(const QString& reason)
{
    if (!calledFromDBus() || isDelayedReply()) {
        return;
    }
    qInfo().noquote() << QStringLiteral("%1: refused: %2").arg(m_sibling.name, reason);
    sendErrorReply(QStringLiteral("com.vellorn.Error.InvalidArgument"), reason);
}

void SimulatedSibling::setDelay(int milliseconds)
{
    m_delayMs = qMax(0, milliseconds);
}

// Misbehaviour on request.

namespace {

// The answer's one list sits three containers deep in the reply (dictionary, entry, variant);
// each level adds an array and a variant, and the bus carries 64.
constexpr int deepestListLevels = 30;
constexpr int largestMessage = 32 * 1024 * 1024;

int align8(int size)
{
    return (size + 7) / 8 * 8;
}

// A reply's header: fixed part and field array length, the reply serial, the destination's
// unique name and the body's signature "a{sv}", padded to eight bytes.
int replyHeaderSize(const QString& destination)
{
    return align8(16 + 8 + align8(9 + destination.size()) + 11);
}

// Sixteen bytes below the largest message the bus takes, so that a reply that passes the text
// on with anything added is too large for it. The answer's framing around the text takes 37
// bytes.
int largeTextLength(const QString& destination)
{
    return largestMessage - replyHeaderSize(destination) - 16 - 37;
}

QVariant faultValue(const QString& mode, const QString& destination)
{
    if (mode == QLatin1String("nested")) {
        QVariant nested = QStringLiteral("bottom");
        for (int level = 1; level < deepestListLevels; ++level) {
            nested = QVariantList{nested};
        }
        return nested;
    }
    if (mode == QLatin1String("large")) {
        return QString(largeTextLength(destination), QLatin1Char('x'));
    }
    return QVariant::fromValue(QDBusUnixFileDescriptor(STDERR_FILENO));
}

} // namespace

bool SimulatedSibling::setFault(const QString& mode)
{
    static const QStringList modes = {"normal", "absent", "error", "nested", "large", "fd"};
    if (!modes.contains(mode)) {
        return false;
    }
    qInfo().noquote() << QStringLiteral("%1: fault %2").arg(m_sibling.name, mode);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (mode == QLatin1String("absent")) {
        bus.unregisterService(busName());
    } else if (m_fault == QLatin1String("absent")) {
        bus.registerService(busName());
    }
    m_fault = mode;
    return true;
}

void SimulatedSibling::answerWithFault()
{
    if (!calledFromDBus() || m_fault == QLatin1String("normal") ||
        m_fault == QLatin1String("absent")) {
        return;
    }
    if (m_fault == QLatin1String("error")) {
        sendErrorReply(QStringLiteral("com.vellorn.Error.Failed"),
                       QStringLiteral("simulated failure"));
        return;
    }
    setDelayedReply(true);
    const QVariantMap answer{
        {QStringLiteral("fault"), QVariantList{faultValue(m_fault, message().service())}}};
    connection().send(message().createReply(QVariant(answer)));
}

// End of misbehaviour.
