#pragma once

#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <QVector>

class ServiceProcess;
class TestBus;

// The measurements that need the real processes: one private system bus with the four sibling
// simulators, the real service and the bare yardstick service. Everything it starts is stopped
// when it goes, the bus daemon last.
class BusBench : public QObject
{
    Q_OBJECT
public:
    // Who a group of load clients calls, and what: client i of the group sends the request at i
    // modulo the list's length. Only counted groups add to the figure. Sibling: each request's
    // sibling method, called without the service.
    enum class Side { Service, Bare, Sibling };
    struct Load {
        Side side;
        QStringList requests;
        int clients;
        bool counted = true;
    };

    explicit BusBench(QObject* parent = nullptr);

    bool start();
    // Nanoseconds from the last sibling's readiness to the service's own, one fresh service per
    // run; empty when a run failed.
    QVector<qint64> measureReadiness(int runs);
    bool startServices();
    // Calls per second that the counted clients completed together within the window; -1 when
    // a client did not report. Failed calls are added to *failed.
    double throughput(const QVector<Load>& loads, int windowMs, int* failed);
    // Makes the sibling behind busName (its interface has the same name) slow to answer.
    bool setSiblingDelay(const QString& busName, int milliseconds);
    // Resident memory in KiB, or -1.
    qint64 residentKb(Side side) const;
    // Instructions per request that callgrind counts, over `calls` requests; -1 for one not
    // measured.
    struct Instructions {
        // FeedLines in the service and in the minimal forwarder.
        double feed;
        double forwarder;
        // GetCommandCategories in the service and in the bare service.
        double catalogue;
        double bareCatalogue;
    };
    // Stops the services of startServices(), whose names the measured ones need: the last
    // measurement.
    Instructions instructionsPerCall(int calls);

    QString problem() const { return m_problem; }

private:
    qint64 readinessOnce();
    ServiceProcess*
    startOnBus(const QString& program, const QStringList& arguments = {},
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    bool fail(const QString& problem);
    qint64 callgrindTotal(const QStringList& command, const QString& busName,
                          const QString& request, int calls);

    TestBus* m_bus = nullptr;
    ServiceProcess* m_service = nullptr;
    ServiceProcess* m_bare = nullptr;
    QString m_problem;
};
