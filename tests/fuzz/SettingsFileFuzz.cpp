// Reads arbitrary bytes as the settings file (encoding detection, the INI
// dialect, the watch-list keys), saves what was read and reads that again:
// nothing may crash, and the second read gives what the first one gave.
#include "fakes/RecordingLogs.h"
#include "fakes/TempDir.h"
#include "shell/Settings.h"

#include <cstddef>
#include <cstdint>
#include <tuple>

namespace {

auto Fields(const quorlan::client::ClientState& s, const quorlan::shell::WindowPlacement& p) {
    return std::tie(p.left, p.top, s.FRepeat, s.FBoardURL, s.FSearchCondition, s.FAutoLogin, s.FDebugMode, s.FLoginID,
                    s.FLoginPassword, s.FSMSID, s.FSMSPassword, s.FSound, s.FExclude, s.FWatchList);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quorlan::test::TempDir dir;
    const std::string path = dir.File("Quorlan.ini");
    quorlan::test::TempDir::Write(path, std::string(reinterpret_cast<const char*>(data), size));
    quorlan::test::RecordingLogs logs;

    quorlan::client::ClientState first;
    const quorlan::shell::WindowPlacement placement = quorlan::shell::LoadSettings(path, first, logs);
    if (!quorlan::shell::SaveSettings(path, first, placement, logs).ok) return 0;
    quorlan::client::ClientState second;
    const quorlan::shell::WindowPlacement again = quorlan::shell::LoadSettings(path, second, logs);
    if (Fields(first, placement) != Fields(second, again)) __builtin_trap();
    return 0;
}
