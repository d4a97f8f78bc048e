#include "DirectCarrier.h"

#include "SiblingRunner.h"

DirectCarrier::DirectCarrier(QObject* parent) : QObject(parent), m_runner(new SiblingRunner(this))
{
}

std::optional<QVariantMap> DirectCarrier::carry(const SiblingCall& call, Completion completion)
{
    Q_UNUSED(completion)
    return m_runner->run(call);
}

QString DirectCarrier::cannotRun(const SiblingCall& call) const
{
    return SiblingRunner::cannotRun(call);
}
