#include "ProcessBenchRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

namespace {

constexpr int runTimeoutMs = 150000;

double nanosecondsPerUnit(const QString& unit)
{
    if (unit == QLatin1String("us")) {
        return 1e3;
    }
    if (unit == QLatin1String("ms")) {
        return 1e6;
    }
    if (unit == QLatin1String("s")) {
        return 1e9;
    }
    return 1.0;
}

} // namespace

bool ProcessBenchRun::run(const QString& program, double minTimeSeconds)
{
    QProcess process;
    // Its errors are worth seeing as they come; its report is read from standard output.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, {QStringLiteral("--benchmark_format=json"),
                            QStringLiteral("--benchmark_min_time=%1").arg(minTimeSeconds)});
    if (!process.waitForFinished(runTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_problem = QStringLiteral("%1 failed: %2").arg(program, process.errorString());
        process.kill();
        process.waitForFinished();
        return false;
    }
    return parse(process.readAllStandardOutput());
}

bool ProcessBenchRun::parse(const QByteArray& json)
{
    // Google Benchmark writes non-finite values as bare NaN or inf (the coefficient of variation
    // of a counter that is always 0, for one), which is not JSON.
    QString text = QString::fromUtf8(json);
    text.replace(QRegularExpression(QStringLiteral(":\\s*-?(nan|inf)\\b"),
                                    QRegularExpression::CaseInsensitiveOption),
                 QStringLiteral(": null"));
    const QJsonArray benchmarks =
        QJsonDocument::fromJson(text.toUtf8()).object().value("benchmarks").toArray();
    if (benchmarks.isEmpty()) {
        m_problem = QStringLiteral("no benchmark results");
        return false;
    }
    for (const QJsonValue& value : benchmarks) {
        const QJsonObject entry = value.toObject();
        // Repeated benchmarks report only aggregates; their median stands for the benchmark.
        if (entry.value("run_type").toString() == QLatin1String("aggregate") &&
            entry.value("aggregate_name").toString() != QLatin1String("median")) {
            continue;
        }
        const QString name =
            entry.value("run_name").toString().remove(QRegularExpression("/repeats:\\d+$"));
        Result result;
        result.cpuNanoseconds = entry.value("cpu_time").toDouble() *
                                nanosecondsPerUnit(entry.value("time_unit").toString());
        result.logLines = entry.value("log_lines").toDouble();
        result.error = entry.value("error_message").toString();
        m_results.insert(name, result);
        m_names.append(name);
    }
    return true;
}
