#include "shell/PatchInstall.h"

#include "fakes/TempDir.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace quorlan::shell;
using quorlan::test::TempDir;

TEST(PatchPaths, ExtensionReplacedOrAdded) {
    struct Case {
        const char* program;
        const char* patch;
        const char* backup;
        const char* installed;
    };
    const Case cases[] = {
        {"/opt/q/quorlan", "/opt/q/quorlan.dat", "/opt/q/quorlan.old", "/opt/q/quorlan.ver"},
        {"/opt/q/quorlan.exe", "/opt/q/quorlan.dat", "/opt/q/quorlan.old", "/opt/q/quorlan.ver"},
        {"/opt/q.d/quorlan", "/opt/q.d/quorlan.dat", "/opt/q.d/quorlan.old", "/opt/q.d/quorlan.ver"},
    };
    for (const auto& c : cases) {
        PatchPaths p = PatchPathsFor(c.program);
        EXPECT_EQ(p.program, fs::path(c.program));
        EXPECT_EQ(p.patch, fs::path(c.patch));
        EXPECT_EQ(p.backup, fs::path(c.backup));
        EXPECT_EQ(p.installed, fs::path(c.installed));
    }
}

class PatchInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        TempDir::Write(paths.program.string(), "old program");
        fs::permissions(paths.program, fs::perms(0755), fs::perm_options::replace);
        TempDir::Write(paths.patch.string(), "new program");
        fs::permissions(paths.patch, fs::perms(0600), fs::perm_options::replace);
    }
    TempDir dir;
    PatchPaths paths = PatchPathsFor(dir.Path() / "quorlan");
};

TEST_F(PatchInstallTest, SwapKeepsBackupAndRunPermission) {
    TempDir::Write(paths.backup.string(), "older program");
    ASSERT_TRUE(InstallPatch(paths).ok);
    EXPECT_EQ(TempDir::Read(paths.program.string()), "new program");
    EXPECT_EQ(TempDir::Read(paths.backup.string()), "old program");
    EXPECT_FALSE(fs::exists(paths.patch));
    EXPECT_EQ(fs::status(paths.program).permissions(), fs::perms(0755));
}

TEST_F(PatchInstallTest, MissingPatchLeavesTheProgramAlone) {
    fs::remove(paths.patch);
    InstallStatus status = InstallPatch(paths);
    EXPECT_FALSE(status.ok);
    EXPECT_FALSE(status.error.empty());
    EXPECT_EQ(TempDir::Read(paths.program.string()), "old program");
}

TEST_F(PatchInstallTest, UndoPutsTheOldProgramBack) {
    ASSERT_TRUE(InstallPatch(paths).ok);
    ASSERT_TRUE(UndoInstall(paths).ok);
    EXPECT_EQ(TempDir::Read(paths.program.string()), "old program");
    EXPECT_EQ(TempDir::Read(paths.patch.string()), "new program");
    EXPECT_FALSE(fs::exists(paths.backup));
}

TEST_F(PatchInstallTest, InstalledBuildIsRecordedAndReadBack) {
    EXPECT_EQ(LastInstalledBuild(paths), 0); // no record yet
    ASSERT_TRUE(RecordInstalledBuild(paths, 7).ok);
    EXPECT_EQ(TempDir::Read(paths.installed.string()), "7\n");
    EXPECT_EQ(LastInstalledBuild(paths), 7);
    TempDir::Write(paths.installed.string(), "garbage");
    EXPECT_EQ(LastInstalledBuild(paths), 0);
    EXPECT_FALSE(RecordInstalledBuild(PatchPathsFor(dir.Path() / "no" / "dir" / "quorlan"), 7).ok);
}

} // namespace
