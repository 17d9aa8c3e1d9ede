#pragma once
#include "IClientActions.h"
#include "LinkState.h"
#include "Sender.h"
#include "base/IClock.h"
#include "base/ILineLogs.h"

#include <cstdint>

namespace quorlan::net {

// Acts on every whole packet the framing tick takes from the receive queue:
// logs it, updates the link's state (FLoggedIn, FLoginID, FLoginPassword,
// FBoardSet, CycleStartTime) and calls the other parts of the client through
// IClientActions.
class Dispatcher {
public:
    Dispatcher(base::ILineLogs& logs, LinkState& state, Sender& sender, IClientActions& actions, base::IClock& clock);

    // packet: length bytes of one framed packet, header included. A result
    // message shorter than 7 bytes carries no code: it counts as a failure and
    // its code is shown as 0.
    void DispatchPacket(const std::uint8_t* packet, int length);

private:
    base::ILineLogs& logs_;
    LinkState& state_;
    Sender& sender_;
    IClientActions& actions_;
    base::IClock& clock_;
};

} // namespace quorlan::net
