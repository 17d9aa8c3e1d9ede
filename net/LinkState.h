#pragma once
#include <cstdint>
#include <string>

namespace quorlan::net {

// What the link to the server reads and writes of the session: the login and
// board the server knows of, whether monitoring runs, and its own counters.
// The client's session state holds these along with its settings; the link
// sees only this part. Strings are cp949 bytes.
struct LinkState {
    // The account the link logs in with ("Quorlan.ini" keeps it encoded).
    std::string FLoginID;
    std::string FLoginPassword;
    // Whether the link logs in again once the server accepted the version
    // (the login dialog's "자동로그인" box, kept in step as it changes).
    bool FAutoLogin = false;
    // The account as the login dialog's boxes hold it, kept in step as they
    // are edited; a successful login makes it FLoginID and FLoginPassword.
    std::string EnteredLoginID;
    std::string EnteredLoginPassword;

    // Set once, never cleared while the program runs (a disconnect keeps them).
    bool FLoggedIn = false;
    bool FBoardSet = false;
    bool FSearching = false;
    bool FUpdateInstalled = false;
    // Millisecond tick from which the countdown to the next check runs.
    std::uint32_t CycleStartTime = 0;
    // Attempts made by the reconnect timer since the link was last connected.
    int ReconnectAttempts = 0;
    // The link has been down for more than one reconnect period.
    bool FServerCutOff = false;
};

} // namespace quorlan::net
