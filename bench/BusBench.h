#pragma once

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QVector>

class QProcess;
class TestBus;

// The measurements that need the real processes: one private system bus with the four sibling
// simulators, the real service and the bare yardstick service. Everything it starts is stopped
// when it goes, the bus daemon last.
class BusBench : public QObject
{
    Q_OBJECT
public:
    // Who a group of load clients calls, and what: each client sends one request of the list,
    // client i the one at i modulo its length. Only counted groups add to the figure.
    enum class Side { Service, BareEcho, BareSameReply };
    struct Load {
        Side side;
        QStringList requests;
        int clients;
        bool counted = true;
    };

    explicit BusBench(QObject* parent = nullptr);
    ~BusBench() override;

    bool start();
    // From the last sibling's ready file to the service's own, one fresh service per run.
    QVector<qint64> measureReadiness(int runs);
    bool startServices();
    // Hands the service's reply to each kind of request to the bare service that answers with
    // the service's reply.
    bool primeBare();
    // Calls per second that the counted clients completed together within the window, counted
    // by the clients; -1 when a client failed. Failed calls are added to *failed.
    double throughput(const QVector<Load>& loads, int windowMs, int* failed);
    // Makes the sibling behind busName (its interface has the same name) slow to answer.
    bool setSiblingDelay(const QString& busName, int milliseconds);
    // VmRSS in kB, or -1.
    qint64 serviceResidentKb() const;
    qint64 bareResidentKb() const;

    QString problem() const { return m_problem; }

private:
    struct Request {
        QString label;
        QVariantMap map;
    };
    struct Target {
        QString service;
        QString interface;
        QString method;
    };
    static const Target commandHandler;
    static const Target bareEcho;
    static const Target barePrimed;

    QProcess* startLogged(const QString& program, const QStringList& arguments,
                          const QString& logName);
    static void stop(QProcess* process);
    bool waitForGateThread(const QProcess* service);
    qint64 readinessOnce();
    QVariantMap call(const Target& target, const QVariantList& arguments) const;
    bool fail(const QString& problem);
    static QVector<Request> requests();
    static qint64 residentKb(const QProcess* process);
    static const Target& targetOf(Side side);

    TestBus* m_bus = nullptr;
    QTemporaryDir m_logs;
    QProcess* m_service = nullptr;
    QProcess* m_bare = nullptr;
    QProcess* m_barePrimed = nullptr;
    QString m_problem;
};
