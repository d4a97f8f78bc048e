#pragma once

#include "SiblingCall.h"

#include <QVariantMap>

#include <functional>
#include <optional>

// What carries out the device commands that passed the handler's checks: each sibling's lane in
// the service, a runner on the caller's own thread for tests and tools. The handler knows only
// this, so that its checks know nothing of threads. Used from the thread the handler lives on.
class CallCarrier
{
public:
    // Called with the reply once the call has run, on the thread it ran on.
    using Completion = std::function<void(const QVariantMap& reply)>;

    virtual ~CallCarrier() = default;

    // The reply when the call is answered at once, run or refused; nothing when it was taken,
    // and completion is then called with its reply.
    virtual std::optional<QVariantMap> carry(const SiblingCall& call, Completion completion) = 0;

    // Empty when a call like this one could run; otherwise why not, in the words its failure
    // would use. Asks no sibling: the command table is checked with it when it is loaded.
    virtual QString cannotRun(const SiblingCall& call) const = 0;
};
