#pragma once
#include "net/LinkState.h"

#include <cstdint>
#include <string>

namespace quorlan::client {

// The fields shared by several parts of the client: settings (loaded at
// start-up, partly saved at shutdown) and session state, the link's part
// included. One instance, owned by the client session; GUI-free so the logic
// is testable. Strings are cp949 bytes.
struct ClientState : net::LinkState {
    // Settings ("Quorlan.ini", section "config"); FLoginID, FLoginPassword
    // and FAutoLogin are the link's.
    std::int32_t FRepeat = 600;
    std::string FBoardURL;
    std::string FSearchCondition;
    bool FDebugMode = false;
    std::string FSMSID;
    std::string FSMSPassword;
    // The alert sound of a search hit ("알림소리").
    bool FSound = true;
};

} // namespace quorlan::client
