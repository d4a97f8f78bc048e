#include "Lanes.h"

#include "SiblingRunner.h"
#include "Siblings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

Lanes::Lanes(Lane::Limits limits, QObject* parent) : QObject(parent)
{
    for (const Sibling& sibling : siblings::all()) {
        m_lanes.insert(&sibling, new Lane(sibling, limits, this));
    }
}

std::optional<QVariantMap> Lanes::carry(const SiblingCall& call, Completion completion)
{
    return m_lanes.value(call.sibling)->queue(call, std::move(completion));
}

void Lanes::stop()
{
    const QList<Lane*> lanes = m_lanes.values();
    for (Lane* lane : lanes) {
        lane->requestStop();
    }
    // Calls the bus delivered before the name was released still wait in the event queue; they
    // are answered now, refused as the stopping lanes refuse them, rather than left to Qt, which
    // answers UnknownObject for them once the handler is gone.
    QCoreApplication::sendPostedEvents();
    // All lanes stop together: the whole stop takes at most one sibling call time-out.
    const QDeadlineTimer deadline(Lane::stopTimeoutMs);
    for (Lane* lane : lanes) {
        lane->waitStopped(deadline);
    }
}

QString Lanes::cannotRun(const SiblingCall& call) const
{
    return SiblingRunner::cannotRun(call);
}
