// Reads arbitrary bytes as the settings file (encoding detection, the INI
// dialect, the watch-list keys), saves what was read and reads that again:
// nothing may crash, and once saved the file is a fixed point of load and
// save.
#include "fakes/RecordingLogs.h"
#include "fakes/TempDir.h"
#include "shell/Settings.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static quorlan::test::TempDir dir;
    const std::string path = dir.File("Quorlan.ini");
    quorlan::test::TempDir::Write(path, std::string(reinterpret_cast<const char*>(data), size));
    quorlan::test::RecordingLogs logs;

    quorlan::client::ClientState first;
    const quorlan::shell::WindowPlacement placement = quorlan::shell::LoadSettings(path, first, logs);
    if (!quorlan::shell::SaveSettings(path, first, placement, logs).ok) return 0;
    const std::string saved = quorlan::test::TempDir::Read(path);

    quorlan::client::ClientState second;
    const quorlan::shell::WindowPlacement again = quorlan::shell::LoadSettings(path, second, logs);
    if (!quorlan::shell::SaveSettings(path, second, again, logs).ok) return 0;
    if (quorlan::test::TempDir::Read(path) != saved) __builtin_trap();
    return 0;
}
