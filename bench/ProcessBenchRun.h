#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// One run of the in-process benchmarks (bench-process) and what it reported, by benchmark name.
// Times are CPU time per request: a request in process never waits for anything, and CPU time
// leaves out the waits for a core while other work runs (cache contention still shows).
class ProcessBenchRun
{
public:
    struct Result {
        double cpuNanoseconds = 0.0;
        double logLines = 0.0;
        QString error;
    };

    bool run(const QString& program, double minTimeSeconds);
    // Google Benchmark's JSON report; false when it holds no results.
    bool parse(const QByteArray& json);
    bool has(const QString& name) const { return m_results.contains(name); }
    Result result(const QString& name) const { return m_results.value(name); }
    QStringList names() const { return m_names; }
    QString problem() const { return m_problem; }

private:
    QHash<QString, Result> m_results;
    QStringList m_names;
    QString m_problem;
};
