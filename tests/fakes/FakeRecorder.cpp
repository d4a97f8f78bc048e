#include "FakeRecorder.h"

FakeRecorder& FakeRecorder::printManager()
{
    static FakeRecorder recorder;
    return recorder;
}

FakeRecorder& FakeRecorder::documentManager()
{
    static FakeRecorder recorder;
    return recorder;
}

FakeRecorder& FakeRecorder::configurationManager()
{
    static FakeRecorder recorder;
    return recorder;
}

FakeRecorder& FakeRecorder::speech()
{
    static FakeRecorder recorder;
    return recorder;
}

void FakeRecorder::resetAll()
{
    printManager().reset();
    documentManager().reset();
    configurationManager().reset();
    speech().reset();
}

void FakeRecorder::reset()
{
    m_calls.clear();
    m_results.clear();
}

QStringList FakeRecorder::methods() const
{
    QStringList names;
    for (const Call& call : m_calls) {
        names.append(call.method);
    }
    return names;
}

void FakeRecorder::setResult(const QString& method, const QVariant& result)
{
    m_results.insert(method, result);
}

QVariant FakeRecorder::record(const QString& method, const QVariantList& arguments)
{
    m_calls.append({method, arguments});
    return m_results.value(method);
}
