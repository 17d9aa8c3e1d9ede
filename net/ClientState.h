#pragma once
#include <cstdint>
#include <string>

namespace quorlan::net {

// The fields shared by several parts of the client: settings (loaded at
// start-up, partly saved at shutdown) and session state. One instance, owned
// by the client session; GUI-free so the logic is testable.
// Strings are cp949 bytes.
struct ClientState {
    // Settings ("Quorlan.ini", section "config").
    std::int32_t FRepeat = 600;
    std::string FBoardURL;
    std::string FSearchCondition;
    bool FAutoLogin = false;
    bool FDebugMode = false;
    std::string FLoginID;
    std::string FLoginPassword;
    std::string FSMSID;
    std::string FSMSPassword;
    // The alert sound of a search hit ("알림소리").
    bool FSound = true;

    // Session: set once, never cleared while the program runs (a disconnect
    // keeps them).
    bool FLoggedIn = false;
    bool FBoardSet = false;
    bool FSearching = false;
    bool FUpdateInstalled = false;
    // Millisecond tick from which the countdown to the next check runs.
    std::uint32_t CycleStartTime = 0;
    // Attempts made by the reconnect timer in this run; never reset.
    int ReconnectAttempts = 0;
};

} // namespace quorlan::net
