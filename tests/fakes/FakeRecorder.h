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
    // Forgets the calls and programmed results of all four.
    static void resetAll();

    const QVector<Call>& calls() const { return m_calls; }
    QStringList methods() const;

    // What the fake answers for a method from now on; a default value when nothing is set.
    void setResult(const QString& method, const QVariant& result);

    // Used by the fakes themselves.
    QVariant record(const QString& method, const QVariantList& arguments = {});

private:
    void reset();

    QVector<Call> m_calls;
    QVariantMap m_results;
};
