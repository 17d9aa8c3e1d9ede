#pragma once
#include "base/ILineLogs.h"
#include "client/ClientState.h"
#include "shell/IniFile.h"

#include <cstdint>
#include <string>

namespace quorlan::shell {

// The settings file, looked for in the working directory; every key lives in
// the section "config".
inline constexpr const char* kSettingsFileName = "Quorlan.ini";
inline constexpr const char* kSettingsSection = "config";

// The main window's left and top edges as kept in "Left" and "Top"; the
// defaults are where the window first opens.
struct WindowPlacement {
    std::int32_t left = 405;
    std::int32_t top = 165;
};

// Reads the thirteen keys in their order (Left, Top, Repeat, BoardURL,
// SearchCondition, AutoLogin, Debug, param1, param2, SMSID, SMSPASSWORD,
// Sound, Exclude), then the watch list (Watch1, Watch1Exclude, Watch1Off,
// Watch2, ..., taken in the order of their numbers), into the settings fields
// of `state` and returns the window placement. A missing file, section or key
// gives the default; the file is never created here. A file that exists but
// cannot be read gives the defaults and a debug line. A watch-list entry that
// cannot be used (no condition, one the "단어설정" dialog refuses, an Off that
// is no number) and a key of the family that is none of its forms are
// skipped, each said once in the message list.
WindowPlacement LoadSettings(const std::string& path, client::ClientState& state, base::ILineLogs& logs);

// Writes, in this order, Left, Top, BoardURL, SearchCondition, AutoLogin,
// param1, param2, Sound, Exclude and the watch list (numbered from 1 without
// gaps; the entries the file holds that could not be read follow as they
// stand, so a hand edit is never lost), keeping every other line of the file ("Repeat", "Debug",
// "SMSID" and "SMSPASSWORD" are only ever set by hand). The file is replaced
// in one step, so a failure leaves the previous one whole. A key whose value
// cannot be stored (a credential too long for its encoded form, a line break)
// keeps its old value and gets a debug line; a failed save gets a debug line
// and is returned.
IniStatus SaveSettings(const std::string& path, const client::ClientState& state, WindowPlacement placement,
                       base::ILineLogs& logs);

} // namespace quorlan::shell
