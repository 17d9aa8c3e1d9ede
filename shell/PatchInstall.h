#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

namespace quorlan::shell {

// The files of an update, all beside the running program and named after it
// with the extension replaced: the downloaded patch (".dat"), the previous
// program kept as the backup (".old") and the record of the newest build ever
// installed (".ver").
struct PatchPaths {
    std::filesystem::path program;
    std::filesystem::path patch;
    std::filesystem::path backup;
    std::filesystem::path installed;
};

PatchPaths PatchPathsFor(const std::filesystem::path& program);

struct [[nodiscard]] InstallStatus {
    bool ok = true;
    std::string error;
};

// Puts the patch in place of the program: the old backup goes, the patch gets
// the program's permission bits (so it stays runnable), the program is renamed
// to the backup and the patch to the program. When a step fails, what was done
// is undone so that a runnable program stays at its path.
InstallStatus InstallPatch(const PatchPaths& paths);

// Reverses a completed InstallPatch: the new program becomes the patch file
// again and the backup the program. Used when the new program cannot be started.
InstallStatus UndoInstall(const PatchPaths& paths);

// The newest build installed here so far; 0 when none was (or the record is
// unreadable). An offer of that build or an older one is never installed
// again, so a patch that does not raise the running build number cannot make
// every start install it anew.
std::int32_t LastInstalledBuild(const PatchPaths& paths);
InstallStatus RecordInstalledBuild(const PatchPaths& paths, std::int32_t version);

} // namespace quorlan::shell
