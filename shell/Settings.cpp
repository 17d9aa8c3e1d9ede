#include "shell/Settings.h"

#include "base/Cp949.h"
#include "shell/CredentialCodec.h"

#include <variant>
#include <vector>

namespace quorlan::shell {
namespace {

constexpr const char* kSection = kSettingsSection;

void WriteOrLog(IniStatus status, base::ILineLogs& logs) {
    if (!status.ok) logs.DebugLog("Settings: " + status.error);
}

// Credentials are stored encoded; a value whose stored form would be cut by
// the 2,047-character read limit, or does not fit the codec, is not written
// at all. The value itself never reaches the log.
void WriteCredential(IniFile& ini, const char* key, const std::string& plain, base::ILineLogs& logs) {
    std::optional<std::string> stored = EncodeCredential(plain);
    if (!stored || stored->size() > IniFile::kMaxValueChars) {
        logs.DebugLog(std::string("Settings: ") + key + " not saved, value too long (" +
                      std::to_string(plain.size()) + " bytes)");
        return;
    }
    WriteOrLog(ini.WriteString(kSection, key, *stored), logs);
}

// The keys of "config" in the order they are read, each with where its value
// lives, its default and whether the client writes it back; "Repeat",
// "Debug", "SMSID" and "SMSPASSWORD" are only ever set by hand.
using Slot = std::variant<std::int32_t*, bool*, std::string*>;
using Value = std::variant<std::int32_t, bool, std::string>;
struct SettingKey {
    const char* name;
    Slot (*slot)(WindowPlacement& placement, client::ClientState& state);
    Value defaultValue; // of the slot's type
    bool credential;    // stored encoded
    bool clientWrites;
};

const std::vector<SettingKey>& SettingKeys() {
    using S = client::ClientState;
    using P = WindowPlacement;
    static const std::vector<SettingKey> keys = {
        {"Left", [](P& p, S&) -> Slot { return &p.left; }, P{}.left, false, true},
        {"Top", [](P& p, S&) -> Slot { return &p.top; }, P{}.top, false, true},
        {"Repeat", [](P&, S& s) -> Slot { return &s.FRepeat; }, std::int32_t{600}, false, false},
        {"BoardURL", [](P&, S& s) -> Slot { return &s.FBoardURL; }, std::string(), false, true},
        {"SearchCondition", [](P&, S& s) -> Slot { return &s.FSearchCondition; }, QUORLAN_CP949("직거래"), false, true},
        {"AutoLogin", [](P&, S& s) -> Slot { return &s.FAutoLogin; }, false, false, true},
        {"Debug", [](P&, S& s) -> Slot { return &s.FDebugMode; }, false, false, false},
        {"param1", [](P&, S& s) -> Slot { return &s.FLoginID; }, std::string(), true, true},
        {"param2", [](P&, S& s) -> Slot { return &s.FLoginPassword; }, std::string(), true, true},
        {"SMSID", [](P&, S& s) -> Slot { return &s.FSMSID; }, std::string(), false, false},
        {"SMSPASSWORD", [](P&, S& s) -> Slot { return &s.FSMSPassword; }, std::string(), false, false},
        {"Sound", [](P&, S& s) -> Slot { return &s.FSound; }, true, false, true},
    };
    return keys;
}

template <class... F> struct Overloaded : F... { using F::operator()...; };

} // namespace

WindowPlacement LoadSettings(const std::string& path, client::ClientState& state, base::ILineLogs& logs) {
    IniFile ini(path);
    if (IniStatus loaded = ini.Load(); !loaded.ok) logs.DebugLog("Settings: " + loaded.error);
    WindowPlacement placement;
    for (const SettingKey& key : SettingKeys()) {
        std::visit(
            Overloaded{
                [&](std::int32_t* value) {
                    *value = ini.ReadInteger(kSection, key.name, std::get<std::int32_t>(key.defaultValue));
                },
                [&](bool* value) { *value = ini.ReadBool(kSection, key.name, std::get<bool>(key.defaultValue)); },
                [&](std::string* value) {
                    std::string read = ini.ReadString(kSection, key.name, std::get<std::string>(key.defaultValue));
                    *value = key.credential ? DecodeCredential(read) : std::move(read);
                },
            },
            key.slot(placement, state));
    }
    return placement;
}

IniStatus SaveSettings(const std::string& path, const client::ClientState& state, WindowPlacement placement,
                       base::ILineLogs& logs) {
    IniFile ini(path);
    if (IniStatus loaded = ini.Load(); !loaded.ok) {
        // Writing now would replace a file we could not read with our keys alone.
        logs.DebugLog("Settings: " + loaded.error);
        return loaded;
    }
    client::ClientState fields = state;
    for (const SettingKey& key : SettingKeys()) {
        if (!key.clientWrites) continue;
        std::visit(Overloaded{
                       [&](std::int32_t* value) { WriteOrLog(ini.WriteInteger(kSection, key.name, *value), logs); },
                       [&](bool* value) { WriteOrLog(ini.WriteBool(kSection, key.name, *value), logs); },
                       [&](std::string* value) {
                           if (key.credential) {
                               WriteCredential(ini, key.name, *value, logs);
                           } else {
                               WriteOrLog(ini.WriteString(kSection, key.name, *value), logs);
                           }
                       },
                   },
                   key.slot(placement, fields));
    }
    IniStatus saved = ini.Save();
    if (!saved.ok) logs.DebugLog("Settings: " + saved.error);
    return saved;
}

} // namespace quorlan::shell
