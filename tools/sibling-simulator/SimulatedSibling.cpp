#include "SimulatedSibling.h"

#include <QStringList>
#include <QThread>
#include <QtDebug>

namespace {
QString describe(const QVariant& value)
{
    if (value.userType() == QMetaType::QString) {
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    }
    return value.toString();
}
} // namespace

SimulatedSibling::SimulatedSibling(const QString& name, const QString& readinessName,
                                   const QString& busName, QObject* parent)
    : QObject(parent), m_name(name), m_readinessName(readinessName), m_busName(busName)
{
}

void SimulatedSibling::logCall(const char* method, const QVariantList& arguments) const
{
    QStringList described;
    for (const QVariant& argument : arguments) {
        described.append(describe(argument));
    }
    qInfo().noquote() << QStringLiteral("%1: %2(%3)")
                             .arg(m_name, QLatin1String(method),
                                  described.join(QStringLiteral(", ")));
    if (m_delayMs > 0) {
        QThread::msleep(static_cast<unsigned long>(m_delayMs));
    }
}

void SimulatedSibling::setDelay(int milliseconds)
{
    m_delayMs = qMax(0, milliseconds);
}
