#include "StatusPrinter.h"

#include "StatusKeys.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <QVariantList>
#include <QVector>

namespace {

using Line = QPair<QString, QString>;

quint64 timeOf(const QVariantMap& map, const QString& key)
{
    return map.value(key).toULongLong();
}

// The entry of the list whose Name is the one asked for; empty when none is.
QVariantMap entryNamed(const QVariantList& entries, const QString& name)
{
    for (const QVariant& entry : entries) {
        if (entry.toMap().value(status::entry::name) == name) {
            return entry.toMap();
        }
    }
    return {};
}

} // namespace

QString StatusPrinter::duration(quint64 us)
{
    const quint64 seconds = us / 1'000'000;
    if (seconds < 60) {
        return QStringLiteral("%1 s").arg(seconds);
    }
    if (seconds < 3600) {
        return QStringLiteral("%1min %2 s").arg(seconds / 60).arg(seconds % 60);
    }
    if (seconds < 86400) {
        return QStringLiteral("%1h %2min").arg(seconds / 3600).arg(seconds % 3600 / 60);
    }
    return QStringLiteral("%1d %2h").arg(seconds / 86400).arg(seconds % 86400 / 3600);
}

QString StatusPrinter::timeWithAge(quint64 timeUs, quint64 nowUs)
{
    if (timeUs == 0) {
        return QStringLiteral("never");
    }
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(qint64(timeUs / 1000));
    return QStringLiteral("%1; %2 ago")
        .arg(QLocale::c().toString(time, QStringLiteral("ddd yyyy-MM-dd HH:mm:ss t")),
             duration(nowUs - qMin(timeUs, nowUs)));
}

void StatusPrinter::write(QTextStream& out, const QVariantMap& properties, quint64 nowUs)
{
    using namespace status::property;
    const quint64 serving = timeOf(properties, servingSince);
    QVector<Line> lines{
        {QStringLiteral("Version"), properties.value(version).toString()},
        {QStringLiteral("Serving"),
         serving == 0 ? QStringLiteral("not yet") : "since " + timeWithAge(serving, nowUs)},
        {QStringLiteral("Command table"), properties.value(tablePath).toString()},
        {QString(), QStringLiteral("%1 commands, loaded %2")
                        .arg(properties.value(tableCommands).toUInt())
                        .arg(timeWithAge(timeOf(properties, tableLoadedAt), nowUs))}};
    if (const QString refusal = properties.value(tableRefusal).toString(); !refusal.isEmpty()) {
        lines << Line{QStringLiteral("Reload refused"),
                      timeWithAge(timeOf(properties, tableRefusedAt), nowUs)}
              << Line{QString(), refusal};
    }
    lines << Line{QStringLiteral("Requests"), requests(properties)};
    const QVariantList laneEntries = properties.value(lanes).toList();
    for (const QVariant& entry : properties.value(siblings).toList()) {
        const QVariantMap sibling = entry.toMap();
        const QVariantMap lane =
            entryNamed(laneEntries, sibling.value(status::entry::name).toString());
        lines << Line{sibling.value(status::entry::name).toString(),
                      siblingState(sibling, lane, nowUs) + "; " + laneCounts(lane)};
        if (const quint64 failedAt = timeOf(lane, status::entry::lastFailureAt); failedAt != 0) {
            lines << Line{QString(), QStringLiteral("last failure %1: %2")
                                         .arg(timeWithAge(failedAt, nowUs),
                                              lane.value(status::entry::lastFailure).toString())};
        }
    }
    int width = 0;
    for (const Line& line : lines) {
        width = qMax(width, line.first.size());
    }
    for (const Line& line : lines) {
        const QString label = line.first.isEmpty() ? QString() : line.first + QLatin1Char(':');
        out << label.rightJustified(width + 1) << ' ' << line.second << '\n';
    }
}

QString StatusPrinter::requests(const QVariantMap& properties)
{
    const QVariantMap refused = properties.value(status::property::refused).toMap();
    QStringList byError;
    quint64 total = 0;
    for (auto it = refused.cbegin(); it != refused.cend(); ++it) {
        byError << QStringLiteral("%1 %2").arg(it.key()).arg(it.value().toULongLong());
        total += it.value().toULongLong();
    }
    QString text = QStringLiteral("%1 answered at once, %2 refused")
                       .arg(properties.value(status::property::answeredAtOnce).toULongLong())
                       .arg(total);
    return byError.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, byError.join(", "));
}

QString StatusPrinter::siblingState(const QVariantMap& sibling, const QVariantMap& lane,
                                    quint64 nowUs)
{
    if (!sibling.value(status::entry::onBus).toBool()) {
        return "not on the bus since " + timeWithAge(timeOf(sibling, status::entry::since), nowUs);
    }
    const quint64 busySince = timeOf(lane, status::entry::busySince);
    if (busySince == 0) {
        return QStringLiteral("on the bus, idle");
    }
    QString state = "busy " + duration(nowUs - qMin(busySince, nowUs));
    if (const QString command = lane.value(status::entry::command).toString(); !command.isEmpty()) {
        state += QStringLiteral(" with %1 (%2)")
                     .arg(command)
                     .arg(lane.value(status::entry::commandNumber).toInt());
    }
    return QStringLiteral("%1, %2 waiting")
        .arg(state)
        .arg(lane.value(status::entry::waiting).toUInt());
}

QString StatusPrinter::laneCounts(const QVariantMap& lane)
{
    using namespace status::entry;
    const quint64 afterWait = lane.value(notRunAfterWait).toULongLong();
    const quint64 full = lane.value(notRunFull).toULongLong();
    const quint64 atStop = lane.value(notRunAtStop).toULongLong();
    QString counts = QStringLiteral("%1 run, %2 failed, %3 not run")
                         .arg(lane.value(run).toULongLong())
                         .arg(lane.value(failed).toULongLong())
                         .arg(afterWait + full + atStop);
    if (afterWait + full + atStop == 0) {
        return counts;
    }
    return QStringLiteral("%1 (%2 waited too long, %3 lane full, %4 at stop)")
        .arg(counts)
        .arg(afterWait)
        .arg(full)
        .arg(atStop);
}
