#include "LogCapture.h"

namespace {
LogCapture* activeCapture = nullptr;
} // namespace

LogCapture::LogCapture()
{
    activeCapture = this;
    m_previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& message) {
            activeCapture->m_records.append({type, message});
        });
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    activeCapture = nullptr;
}

QStringList LogCapture::messages(std::optional<QtMsgType> type) const
{
    QStringList result;
    for (const auto& [recordType, message] : m_records) {
        if (!type || recordType == *type) {
            result.append(message);
        }
    }
    return result;
}
