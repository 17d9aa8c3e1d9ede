#pragma once
#include "net/LinkState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorlan::client {

// One further condition of the watch list, besides the main one: the same
// grammar as FSearchCondition, its own words to leave out (a line holding any
// of them is no hit for it) and its own switch.
struct WatchEntry {
    std::string condition;
    std::vector<std::string> exclude;
    bool off = false;

    bool operator==(const WatchEntry&) const = default;
};

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
    // Words to leave out for FSearchCondition ("Exclude").
    std::vector<std::string> FExclude;
    // The watch list ("Watch1", "Watch1Exclude", "Watch1Off", ...), in order.
    std::vector<WatchEntry> FWatchList;
    bool FDebugMode = false;
    std::string FSMSID;
    std::string FSMSPassword;
    // The alert sound of a search hit ("알림소리").
    bool FSound = true;
};

} // namespace quorlan::client
