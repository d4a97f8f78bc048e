#include "ReportTable.h"

#include <QStringList>
#include <QtDebug>

#include <algorithm>

namespace {
constexpr int measureWidth = 46;
constexpr int targetWidth = 22;
} // namespace

void ReportTable::addSection(const QString& title)
{
    m_rows.append({title, {}, {}, {}, true});
}

void ReportTable::addRow(const QString& measure, const QString& result, const QString& target,
                         const QString& verdict)
{
    m_rows.append({measure, result, target, verdict, false});
}

void ReportTable::addNote(const QString& note)
{
    m_notes.append(note);
}

int ReportTable::misses() const
{
    return static_cast<int>(std::count_if(m_rows.cbegin(), m_rows.cend(), [](const Row& row) {
        return row.verdict != QLatin1String("PASS") && !row.verdict.isEmpty();
    }));
}

QString ReportTable::milli(double nanoseconds)
{
    return QStringLiteral("%1 ms").arg(nanoseconds / 1e6, 0, 'f', 2);
}

void ReportTable::print() const
{
    int resultWidth = 10;
    for (const Row& row : m_rows) {
        resultWidth = std::max(resultWidth, static_cast<int>(row.result.size()));
    }
    const QString rule(measureWidth + resultWidth + targetWidth + 13, QLatin1Char('-'));
    auto line = [&](const QString& measure, const QString& result, const QString& target,
                    const QString& verdict) {
        qInfo().noquote() << QStringLiteral("| %1 | %2 | %3 | %4 |")
                                 .arg(measure, -measureWidth)
                                 .arg(result, -resultWidth)
                                 .arg(target, -targetWidth)
                                 .arg(verdict, -4);
    };
    qInfo().noquote() << rule;
    line(QStringLiteral("Measure"), QStringLiteral("Result"), QStringLiteral("Target"),
         QStringLiteral(""));
    for (const Row& row : m_rows) {
        if (row.section) {
            qInfo().noquote() << rule;
            qInfo().noquote() << QStringLiteral("| %1").arg(row.measure);
            continue;
        }
        line(row.measure, row.result, row.target, row.verdict);
    }
    qInfo().noquote() << rule;
    for (const QString& note : m_notes) {
        qInfo().noquote() << QStringLiteral("  * ") + note;
    }
}
