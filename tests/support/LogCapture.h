#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// Records what the Qt message logger is given while it lives, so that tests compare log
// records rather than screen text. One at a time per process.
class LogCapture
{
public:
    struct Record
    {
        QtMsgType type;
        QString category;
        QString message;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const QVector<Record>& records() const { return m_records; }
    QStringList messages() const;
    QStringList messages(QtMsgType type) const;
    bool contains(const QString& text) const;
    void clear() { m_records.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    QVector<Record> m_records;
    QtMessageHandler m_previous;
};
