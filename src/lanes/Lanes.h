#pragma once

#include "CallCarrier.h"
#include "Lane.h"

#include <QHash>
#include <QObject>

struct Sibling;

// Carries out each sibling's commands on a lane of its own, so that a slow or hung sibling
// delays only its own commands. Lives on the main thread and is used from there only; its lanes
// answer on their own threads.
class Lanes : public QObject, public CallCarrier
{
    Q_OBJECT
public:
    // One lane per sibling, each with these limits.
    explicit Lanes(Lane::Limits limits, QObject* parent = nullptr);

    std::optional<QVariantMap> carry(const SiblingCall& call, Completion completion) override;
    QString cannotRun(const SiblingCall& call) const override;

    Lane::Status status(const Sibling& sibling) const { return m_lanes.value(&sibling)->status(); }

    // Ends the lanes, waiting for all of them together at most one sibling call time-out. The
    // calls still waiting are answered as not run.
    void stop();

private:
    QHash<const Sibling*, Lane*> m_lanes;
};
