#pragma once

#include <QPair>
#include <QStringList>
#include <QVector>

#include <optional>

// Records what the Qt message logger is given while it lives, so that tests compare log
// records rather than screen text. One at a time per process.
class LogCapture
{
    Q_DISABLE_COPY(LogCapture)
public:
    LogCapture();
    ~LogCapture();

    // Every message in order, or those of one type.
    QStringList messages(std::optional<QtMsgType> type = std::nullopt) const;

private:
    QVector<QPair<QtMsgType, QString>> m_records;
    QtMessageHandler m_previous;
};
