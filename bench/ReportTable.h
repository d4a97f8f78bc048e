#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The one table the bench prints: what was measured, the figures, the target if there is one
// and whether it was met.
class ReportTable
{
public:
    void addSection(const QString& title);
    void addRow(const QString& measure, const QString& result, const QString& target = QString(),
                const QString& verdict = QString());
    void addNote(const QString& note);
    // Through the message logger, one line per row.
    void print() const;
    int misses() const;

    static QString milli(double nanoseconds);

private:
    struct Row {
        QString measure;
        QString result;
        QString target;
        QString verdict;
        bool section = false;
    };

    QVector<Row> m_rows;
    QStringList m_notes;
};
