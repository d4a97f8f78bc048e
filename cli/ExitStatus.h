#pragma once

// What chctl's exit status tells a script.
namespace exitStatus {
constexpr int success = 0;
constexpr int failure = 1;     // the service answered Failure
constexpr int usage = 2;       // refused before anything was sent
constexpr int unreachable = 3; // the service is not on the bus, or the bus refused access
} // namespace exitStatus
