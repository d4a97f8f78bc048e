#pragma once

// Unit tests link the fake sibling clients of this directory in place of the real client
// libraries: the same client headers, implemented in-process. Each fake records the calls it
// receives in its FakeRecorder and answers with the values a test programmed there.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>
#include <QVector>

class FakeRecorder
{
public:
    struct Call {
        QString method;
        QVariantList arguments;
    };

    static FakeRecorder& printManager();
    static FakeRecorder& documentManager();
    static FakeRecorder& configurationManager();
    static FakeRecorder& speech();
    // Forgets the calls and programmed results of all four; what was constructed stays counted.
    static void resetAll();

    // Counted over the whole life of the process, like the clients themselves.
    int constructed() const { return m_constructed; }
    const QList<bool>& checkConnectionCalls() const { return m_checkConnection; }

    const QVector<Call>& calls() const { return m_calls; }
    QStringList methods() const;

    // What the fake answers for a method from now on; a default value when nothing is set.
    void setResult(const QString& method, const QVariant& result);

    // Used by the fakes themselves.
    void constructedOnce() { ++m_constructed; }
    void checkConnection(bool check) { m_checkConnection.append(check); }
    QVariant record(const QString& method, const QVariantList& arguments = {});

private:
    void reset();

    int m_constructed = 0;
    QList<bool> m_checkConnection;
    QVector<Call> m_calls;
    QVariantMap m_results;
};
