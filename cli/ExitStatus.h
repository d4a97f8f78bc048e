#pragma once

#include "ServiceClient.h"

#include <QTextStream>

// What chctl's exit status tells a script.
namespace exitStatus {
constexpr int success = 0;
constexpr int failure = 1;     // the service answered Failure
constexpr int usage = 2;       // refused before anything was sent
constexpr int unreachable = 3; // the service is not on the bus, or the bus refused access
constexpr int noReply = 4;     // no answer within --timeout: the command may still be running

// The status that an answer of the service ends chctl with.
int of(const ServiceClient::Answer& answer);
// The same, with the reason of any status but success on err as chctl's own line: the bus
// error, or why the service answered Failure.
int reported(const ServiceClient::Answer& answer, QTextStream& err);
} // namespace exitStatus
