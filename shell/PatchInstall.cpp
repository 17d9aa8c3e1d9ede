#include "shell/PatchInstall.h"

#include "shell/IniFile.h"

#include <fstream>

namespace quorlan::shell {
namespace fs = std::filesystem;

namespace {
InstallStatus Failed(const std::string& step, const std::error_code& ec) {
    return InstallStatus{false, step + ": " + ec.message()};
}
} // namespace

PatchPaths PatchPathsFor(const fs::path& program) {
    PatchPaths paths{program, program, program, program};
    paths.patch.replace_extension(".dat");
    paths.backup.replace_extension(".old");
    paths.installed.replace_extension(".ver");
    return paths;
}

InstallStatus InstallPatch(const PatchPaths& paths) {
    std::error_code ec;
    fs::file_status programStatus = fs::status(paths.program, ec);
    if (ec || !fs::is_regular_file(programStatus)) return InstallStatus{false, "the program file is not in place"};

    fs::remove(paths.backup, ec); // a leftover backup that cannot go makes the rename below fail

    // The permissions of the running program, owner execution at least.
    fs::perms mode = programStatus.permissions() | fs::perms::owner_exec | fs::perms::owner_read;
    fs::permissions(paths.patch, mode, fs::perm_options::replace, ec);
    if (ec) return Failed("cannot make the patch runnable", ec);

    fs::rename(paths.program, paths.backup, ec);
    if (ec) return Failed("cannot rename the program to the backup", ec);

    fs::rename(paths.patch, paths.program, ec);
    if (ec) {
        InstallStatus status = Failed("cannot rename the patch to the program", ec);
        std::error_code restoreEc;
        fs::rename(paths.backup, paths.program, restoreEc);
        if (restoreEc) status.error += "; restoring the program failed: " + restoreEc.message();
        return status;
    }
    return {};
}

InstallStatus UndoInstall(const PatchPaths& paths) {
    std::error_code ec;
    fs::rename(paths.program, paths.patch, ec);
    if (ec) return Failed("cannot move the new program aside", ec);
    fs::rename(paths.backup, paths.program, ec);
    if (ec) {
        InstallStatus status = Failed("cannot restore the program from the backup", ec);
        // Put the new program back rather than leave no program at all.
        std::error_code againEc;
        fs::rename(paths.patch, paths.program, againEc);
        return status;
    }
    return {};
}

std::int32_t LastInstalledBuild(const PatchPaths& paths) {
    std::ifstream in(paths.installed);
    std::string line;
    if (!std::getline(in, line)) return 0;
    return ParseIniInteger(line).value_or(0);
}

InstallStatus RecordInstalledBuild(const PatchPaths& paths, std::int32_t version) {
    std::ofstream out(paths.installed, std::ios::trunc);
    out << version << "\n";
    out.close();
    if (!out) return InstallStatus{false, "cannot record the installed build in " + paths.installed.string()};
    return {};
}

} // namespace quorlan::shell
