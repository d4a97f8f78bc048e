#include "LaneSettings.h"

#include "ErrorText.h"
#include "SiblingLink.h"

#include <QRegularExpression>
#include <QtDebug>

LaneSettings::LaneSettings()
    : m_capacity(read("COMMAND_HANDLER_LANE_CAPACITY", defaultCapacity)),
      m_waitSeconds(read("COMMAND_HANDLER_LANE_WAIT_SECONDS", defaultWaitSeconds))
{
    warnAboutLateReplies();
}

int LaneSettings::read(const char* variable, int defaultValue)
{
    if (!qEnvironmentVariableIsSet(variable)) {
        return defaultValue;
    }
    const QString text = qEnvironmentVariable(variable);
    static const QRegularExpression decimal(QStringLiteral("^[1-9][0-9]{0,8}$"));
    if (decimal.match(text).hasMatch()) {
        return text.toInt();
    }
    qWarning().noquote() << QStringLiteral("%1=\"%2\" is not taken: it takes a whole number from 1 "
                                           "to 999999999 in decimal digits; %3 holds")
                                .arg(QLatin1String(variable), errorText::shortened(text))
                                .arg(defaultValue);
    return defaultValue;
}

// The lane answers a request within its wait bound plus the one sibling call that may be
// running; a caller that gives up sooner gets no reply at all.
void LaneSettings::warnAboutLateReplies() const
{
    const int longestMs = m_waitSeconds * 1000 + SiblingLink::callTimeoutMs;
    if (longestMs <= busDefaultTimeoutSeconds * 1000) {
        return;
    }
    qWarning().noquote()
        << QStringLiteral("A lane wait bound of %1 s with a sibling call time-out of %2 ms passes "
                          "a bus client's default time-out of %3 s: callers that keep that "
                          "default may go without a reply")
               .arg(m_waitSeconds)
               .arg(SiblingLink::callTimeoutMs)
               .arg(busDefaultTimeoutSeconds);
}
