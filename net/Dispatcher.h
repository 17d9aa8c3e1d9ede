#pragma once
#include "ClientState.h"
#include "IClientActions.h"
#include "IClock.h"
#include "ILineLogs.h"
#include "Sender.h"

#include <cstdint>

namespace quorlan::net {

// Acts on every whole packet the framing tick takes from the receive queue:
// logs it, updates the session state (FLoggedIn, FLoginID, FLoginPassword,
// FBoardSet, CycleStartTime) and calls the other parts of the client through
// IClientActions.
class Dispatcher {
public:
    Dispatcher(ILineLogs& logs, ClientState& state, Sender& sender, IClientActions& actions, IClock& clock);

    // packet: length bytes of one framed packet, header included. A result
    // message shorter than 7 bytes carries no code: it counts as a failure and
    // its code is shown as 0.
    void DispatchPacket(const std::uint8_t* packet, int length);

private:
    ILineLogs& logs_;
    ClientState& state_;
    Sender& sender_;
    IClientActions& actions_;
    IClock& clock_;
};

} // namespace quorlan::net
