#include "shell/Settings.h"

#include "net/Cp949.h"
#include "shell/CredentialCodec.h"

namespace quorlan::shell {
namespace {

constexpr const char* kSection = kSettingsSection;

void WriteOrLog(IniStatus status, net::ILineLogs& logs) {
    if (!status.ok) logs.DebugLog("Settings: " + status.error);
}

// Credentials are stored encoded; a value whose stored form would be cut by
// the 2,047-character read limit, or does not fit the codec, is not written
// at all. The value itself never reaches the log.
void WriteCredential(IniFile& ini, const char* key, const std::string& plain, net::ILineLogs& logs) {
    std::optional<std::string> stored = EncodeCredential(plain);
    if (!stored || stored->size() > IniFile::kMaxValueChars) {
        logs.DebugLog(std::string("Settings: ") + key + " not saved, value too long (" +
                      std::to_string(plain.size()) + " bytes)");
        return;
    }
    WriteOrLog(ini.WriteString(kSection, key, *stored), logs);
}

} // namespace

WindowPlacement LoadSettings(const std::string& path, net::ClientState& state, net::ILineLogs& logs) {
    IniFile ini(path);
    if (IniStatus loaded = ini.Load(); !loaded.ok) logs.DebugLog("Settings: " + loaded.error);

    WindowPlacement placement;
    placement.left = ini.ReadInteger(kSection, "Left", placement.left);
    placement.top = ini.ReadInteger(kSection, "Top", placement.top);
    state.FRepeat = ini.ReadInteger(kSection, "Repeat", 600);
    state.FBoardURL = ini.ReadString(kSection, "BoardURL", "");
    state.FSearchCondition = ini.ReadString(kSection, "SearchCondition", QUORLAN_CP949("직거래"));
    state.FAutoLogin = ini.ReadBool(kSection, "AutoLogin", false);
    state.FDebugMode = ini.ReadBool(kSection, "Debug", false);
    state.FLoginID = DecodeCredential(ini.ReadString(kSection, "param1", ""));
    state.FLoginPassword = DecodeCredential(ini.ReadString(kSection, "param2", ""));
    state.FSMSID = ini.ReadString(kSection, "SMSID", "");
    state.FSMSPassword = ini.ReadString(kSection, "SMSPASSWORD", "");
    return placement;
}

IniStatus SaveSettings(const std::string& path, const net::ClientState& state, WindowPlacement placement,
                       net::ILineLogs& logs) {
    IniFile ini(path);
    if (IniStatus loaded = ini.Load(); !loaded.ok) {
        // Writing now would replace a file we could not read with our keys alone.
        logs.DebugLog("Settings: " + loaded.error);
        return loaded;
    }
    WriteOrLog(ini.WriteInteger(kSection, "Left", placement.left), logs);
    WriteOrLog(ini.WriteInteger(kSection, "Top", placement.top), logs);
    WriteOrLog(ini.WriteString(kSection, "BoardURL", state.FBoardURL), logs);
    WriteOrLog(ini.WriteString(kSection, "SearchCondition", state.FSearchCondition), logs);
    WriteOrLog(ini.WriteBool(kSection, "AutoLogin", state.FAutoLogin), logs);
    WriteCredential(ini, "param1", state.FLoginID, logs);
    WriteCredential(ini, "param2", state.FLoginPassword, logs);

    IniStatus saved = ini.Save();
    if (!saved.ok) logs.DebugLog("Settings: " + saved.error);
    return saved;
}

} // namespace quorlan::shell
