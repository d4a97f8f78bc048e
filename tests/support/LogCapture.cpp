#include "LogCapture.h"

namespace {
LogCapture* activeCapture = nullptr;
} // namespace

LogCapture::LogCapture()
{
    activeCapture = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    activeCapture = nullptr;
}

QStringList LogCapture::messages() const
{
    QStringList result;
    for (const Record& record : m_records) {
        result.append(record.message);
    }
    return result;
}

QStringList LogCapture::messages(QtMsgType type) const
{
    QStringList result;
    for (const Record& record : m_records) {
        if (record.type == type) {
            result.append(record.message);
        }
    }
    return result;
}

bool LogCapture::contains(const QString& text) const
{
    for (const Record& record : m_records) {
        if (record.message.contains(text)) {
            return true;
        }
    }
    return false;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (activeCapture != nullptr) {
        activeCapture->m_records.append(
            {type, QString::fromLatin1(context.category ? context.category : ""), message});
    }
}
