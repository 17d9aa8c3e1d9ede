#pragma once
#include <functional>

namespace quorlan::base {

// Tells when the machine has resumed from sleep or the network has come back,
// so that the link to the server is tried at once rather than at its next
// tick. The real one follows the platform's network information where the
// platform reports it; tests raise it by hand.
class IWakeSignal {
public:
    virtual ~IWakeSignal() = default;
    // Called on the UI thread at every wake; empty to stop.
    virtual void SetWake(std::function<void()> wake) = 0;
};

} // namespace quorlan::base
