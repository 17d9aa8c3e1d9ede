#include "shell/Settings.h"

#include "base/Cp949.h"
#include "board/SearchCondition.h"
#include "board/WatchList.h"
#include "shell/CredentialCodec.h"

#include <map>
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
using Words = std::vector<std::string>; // stored separated by commas
using Slot = std::variant<std::int32_t*, bool*, std::string*, Words*>;
using Value = std::variant<std::int32_t, bool, std::string, Words>;
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
        {"Exclude", [](P&, S& s) -> Slot { return &s.FExclude; }, Words(), false, true},
    };
    return keys;
}

// The watch list's keys: "Watch" n, "Watch" n "Exclude" and "Watch" n "Off"
// for n = 1 .. board::kMaxWatchEntries written without a leading zero, letters
// in any case. A key that begins "Watch" and a digit but is none of these is
// not read and not touched.
using board::kMaxWatchEntries;
enum class WatchPart { Condition, Exclude, Off };
struct WatchKey {
    std::size_t number;
    WatchPart part;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// True when the key is of the watch list's family ("Watch" and a digit).
bool InWatchFamily(std::string_view key) {
    return key.size() > 5 && SameLetters(key.substr(0, 5), "Watch") && IsDigit(key[5]);
}

std::optional<WatchKey> ParseWatchKey(std::string_view key) {
    if (!InWatchFamily(key) || key[5] == '0') return std::nullopt;
    std::size_t end = 5;
    std::size_t number = 0;
    while (end < key.size() && IsDigit(key[end]) && number <= kMaxWatchEntries) {
        number = number * 10 + static_cast<std::size_t>(key[end] - '0');
        ++end;
    }
    if (number > kMaxWatchEntries) return std::nullopt;
    const std::string_view rest = key.substr(end);
    if (rest.empty()) return WatchKey{number, WatchPart::Condition};
    if (SameLetters(rest, "Exclude")) return WatchKey{number, WatchPart::Exclude};
    if (SameLetters(rest, "Off")) return WatchKey{number, WatchPart::Off};
    return std::nullopt;
}

// One watch-list entry as the file holds it (the first line of each key
// counts, as for every key); refusal says why it cannot be used.
struct WatchRecord {
    std::size_t number = 0;
    std::optional<std::string> condition, exclude, off;
    std::string refusal;

    std::string Name() const { return "Watch" + std::to_string(number); }
    client::WatchEntry Entry() const {
        return {*condition, board::SplitExcludeWords(exclude.value_or("")),
                off && ParseIniInteger(*off).value_or(0) != 0};
    }
};

struct WatchKeys {
    std::vector<WatchRecord> records; // by number
    std::vector<std::string> unknownNames;
};

WatchKeys ReadWatchKeys(const IniFile& ini) {
    std::map<std::size_t, WatchRecord> byNumber;
    WatchKeys keys;
    for (const IniFile::Entry& entry : ini.Entries(kSection)) {
        const std::optional<WatchKey> key = ParseWatchKey(entry.key);
        if (!key) {
            if (InWatchFamily(entry.key)) keys.unknownNames.push_back(entry.key);
            continue;
        }
        WatchRecord& record = byNumber[key->number];
        record.number = key->number;
        std::optional<std::string>& part = key->part == WatchPart::Condition ? record.condition
                                           : key->part == WatchPart::Exclude ? record.exclude
                                                                             : record.off;
        if (!part) part = entry.value;
    }
    for (auto& [number, record] : byNumber) {
        if (!record.condition) {
            record.refusal = record.Name() + QUORLAN_CP949(" 키가 없습니다.");
        } else if (const auto refusals = board::ConditionRefusals(*record.condition); !refusals.empty()) {
            for (const std::string& text : refusals) record.refusal += (record.refusal.empty() ? "" : " ") + text;
        } else if (record.off && !ParseIniInteger(*record.off)) {
            record.refusal = record.Name() + QUORLAN_CP949("Off 값이 숫자가 아닙니다.");
        }
        keys.records.push_back(std::move(record));
    }
    return keys;
}

// Writes the list as Watch1 .. WatchM, then the entries the file holds that
// could not be read, as they stand, so that a hand edit gone wrong is kept
// for its author to mend; every other key of the family with a number goes.
void WriteWatchKeys(IniFile& ini, const std::vector<client::WatchEntry>& list, base::ILineLogs& logs) {
    std::vector<WatchRecord> skipped;
    for (WatchRecord& record : ReadWatchKeys(ini).records) {
        if (!record.refusal.empty()) skipped.push_back(std::move(record));
    }
    (void)ini.RemoveKeys(kSection, [](std::string_view key) { return ParseWatchKey(key).has_value(); });
    // An entry takes the next number once one of its keys is written, so a
    // value that cannot be stored (a line break, a NUL) leaves no gap.
    std::size_t number = 0;
    bool written = false;
    auto write = [&](const char* suffix, const std::string& value) {
        IniStatus status = ini.WriteString(kSection, "Watch" + std::to_string(number + 1) + suffix, value);
        written = written || status.ok;
        WriteOrLog(std::move(status), logs);
    };
    auto next = [&] {
        if (written) ++number;
        written = false;
    };
    for (const client::WatchEntry& entry : list) {
        write("", entry.condition);
        write("Exclude", board::JoinExcludeWords(entry.exclude));
        write("Off", entry.off ? "1" : "0");
        next();
    }
    for (const WatchRecord& record : skipped) {
        if (record.condition) write("", *record.condition);
        if (record.exclude) write("Exclude", *record.exclude);
        if (record.off) write("Off", *record.off);
        next();
    }
}

template <class... F> struct Overloaded : F... { using F::operator()...; };
// Spelled out for compilers without deduction for aggregates (clang before 17).
template <class... F> Overloaded(F...) -> Overloaded<F...>;

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
                [&](Words* value) { *value = board::SplitExcludeWords(ini.ReadString(kSection, key.name, "")); },
            },
            key.slot(placement, state));
    }
    const WatchKeys watch = ReadWatchKeys(ini);
    state.FWatchList.clear();
    for (const WatchRecord& record : watch.records) {
        if (record.refusal.empty()) {
            state.FWatchList.push_back(record.Entry());
        } else {
            logs.AddListMessage(QUORLAN_CP949("설정 파일의 ") + record.Name() + QUORLAN_CP949(" 항목을 건너뜁니다: ") +
                                record.refusal);
        }
    }
    for (const std::string& name : watch.unknownNames) {
        logs.AddListMessage(QUORLAN_CP949("설정 파일의 ") + name + QUORLAN_CP949(" 키를 알 수 없어 건너뜁니다."));
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
                       [&](Words* value) {
                           WriteOrLog(ini.WriteString(kSection, key.name, board::JoinExcludeWords(*value)), logs);
                       },
                   },
                   key.slot(placement, fields));
    }
    WriteWatchKeys(ini, state.FWatchList, logs);
    IniStatus saved = ini.Save();
    if (!saved.ok) logs.DebugLog("Settings: " + saved.error);
    return saved;
}

} // namespace quorlan::shell
