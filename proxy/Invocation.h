#pragma once

namespace detail {

// Hands whether the meta-object system found and called a method to a caller that asked.
inline void reportInvocation(bool* invoked, bool called)
{
    if (invoked != nullptr) {
        *invoked = called;
    }
}

} // namespace detail
