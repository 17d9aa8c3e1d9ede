#include "shell/Settings.h"

#include "base/Cp949.h"
#include "fakes/RecordingLogs.h"
#include "fakes/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using quorlan::client::ClientState;
using quorlan::shell::LoadSettings;
using quorlan::shell::SaveSettings;
using quorlan::shell::WindowPlacement;
using quorlan::test::RecordingLogs;
using quorlan::test::TempDir;

class SettingsTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("Quorlan.ini");
    RecordingLogs logs;
};

TEST_F(SettingsTest, FirstRunWithoutAFileGivesEveryDefaultAndCreatesNothing) {
    ClientState state;
    state.FRepeat = 1;
    state.FBoardURL = "stale";
    state.FAutoLogin = true;
    WindowPlacement placement = LoadSettings(path, state, logs);

    EXPECT_EQ(placement.left, 405);
    EXPECT_EQ(placement.top, 165);
    EXPECT_EQ(state.FRepeat, 600);
    EXPECT_EQ(state.FBoardURL, "");
    EXPECT_EQ(state.FSearchCondition, "\xC1\xF7\xB0\xC5\xB7\xA1"); // 직거래 in cp949
    EXPECT_FALSE(state.FAutoLogin);
    EXPECT_FALSE(state.FDebugMode);
    EXPECT_TRUE(state.FSound);
    EXPECT_EQ(state.FLoginID, "");
    EXPECT_EQ(state.FLoginPassword, "");
    EXPECT_EQ(state.FSMSID, "");
    EXPECT_EQ(state.FSMSPassword, "");
    EXPECT_TRUE(logs.debug.empty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(SettingsTest, EveryWrittenKeyRoundTripsAndHandSetKeysSurvive) {
    TempDir::Write(path, "[config]\r\nRepeat=0x3C\r\nDebug=1\r\nSMSID=gw-user\r\nSMSPASSWORD=gw-pass\r\n"
                         "; kept\r\n\r\n[Window]\r\nState=2\r\n");
    ClientState saved;
    saved.FBoardURL = "http://127.0.0.1:8080/bbs/zboard.php?id=share";
    saved.FSearchCondition = "\xB3\xEB\xC6\xAE\xBA\xCF&LG"; // 노트북&LG
    saved.FAutoLogin = true;
    saved.FLoginID = "01012345678";
    saved.FLoginPassword = "p"; // one character: five stored characters
    saved.FRepeat = 9;          // never written
    saved.FSMSID = "changed";   // never written
    saved.FSound = false;
    ASSERT_TRUE(SaveSettings(path, saved, WindowPlacement{-20, 0x7FFF}, logs).ok);

    EXPECT_EQ(TempDir::Read(path),
              "[config]\r\nRepeat=0x3C\r\nDebug=1\r\nSMSID=gw-user\r\nSMSPASSWORD=gw-pass\r\n"
              "; kept\r\nLeft=-20\r\nTop=32767\r\n"
              "BoardURL=http://127.0.0.1:8080/bbs/zboard.php?id=share\r\n"
              "SearchCondition=\xB3\xEB\xC6\xAE\xBA\xCF&LG\r\nAutoLogin=1\r\n"
              "param1=G>?kGNCnH>OqHn[;.\r\nparam2=W;;;.\r\nSound=0\r\n\r\n[Window]\r\nState=2\r\n");

    ClientState loaded;
    WindowPlacement placement = LoadSettings(path, loaded, logs);
    EXPECT_EQ(placement.left, -20);
    EXPECT_EQ(placement.top, 0x7FFF);
    EXPECT_EQ(loaded.FBoardURL, saved.FBoardURL);
    EXPECT_EQ(loaded.FSearchCondition, saved.FSearchCondition);
    EXPECT_TRUE(loaded.FAutoLogin);
    EXPECT_EQ(loaded.FLoginID, saved.FLoginID);
    EXPECT_EQ(loaded.FLoginPassword, "p");
    EXPECT_EQ(loaded.FRepeat, 60);
    EXPECT_TRUE(loaded.FDebugMode);
    EXPECT_EQ(loaded.FSMSID, "gw-user");
    EXPECT_EQ(loaded.FSMSPassword, "gw-pass");
    EXPECT_FALSE(loaded.FSound);
    EXPECT_TRUE(logs.debug.empty());
}

TEST_F(SettingsTest, EmptyCredentialsAreStoredAsADotAndReadBackEmpty) {
    ClientState state;
    ASSERT_TRUE(SaveSettings(path, state, WindowPlacement{}, logs).ok);
    EXPECT_NE(TempDir::Read(path).find("param1=.\r\nparam2=.\r\n"), std::string::npos);
    ClientState loaded;
    loaded.FLoginID = "x";
    LoadSettings(path, loaded, logs);
    EXPECT_EQ(loaded.FLoginID, "");
    EXPECT_EQ(loaded.FLoginPassword, "");
}

TEST_F(SettingsTest, CredentialTooLongForOneValueIsRefusedAndTheOldValueKept) {
    TempDir::Write(path, "[config]\nparam1=SQD^.\nparam2=SQD^.\n");
    ClientState state;
    state.FLoginID = std::string(1533, '1');     // stored in 2,045 characters: fits
    state.FLoginPassword = std::string(1534, 'p'); // would need 2,049: refused
    ASSERT_TRUE(SaveSettings(path, state, WindowPlacement{}, logs).ok);

    ASSERT_EQ(logs.debug.size(), 1u);
    EXPECT_NE(logs.debug[0].find("param2"), std::string::npos);
    EXPECT_EQ(logs.debug[0].find("ppp"), std::string::npos); // the value itself is not logged
    ClientState loaded;
    LoadSettings(path, loaded, logs);
    EXPECT_EQ(loaded.FLoginID, state.FLoginID);
    EXPECT_EQ(loaded.FLoginPassword, "abc");
}

TEST_F(SettingsTest, ValueWithALineBreakIsNotWrittenSoNoKeyCanBeSmuggledIn) {
    ClientState state;
    state.FSearchCondition = "a\r\nparam1=SQD^.";
    ASSERT_TRUE(SaveSettings(path, state, WindowPlacement{}, logs).ok);
    ASSERT_EQ(logs.debug.size(), 1u);
    EXPECT_NE(logs.debug[0].find("SearchCondition"), std::string::npos);
    ClientState loaded;
    LoadSettings(path, loaded, logs);
    EXPECT_EQ(loaded.FLoginID, "");
    EXPECT_EQ(loaded.FSearchCondition, "\xC1\xF7\xB0\xC5\xB7\xA1");
}

TEST_F(SettingsTest, FailedSaveIsLoggedAndReturned) {
    ClientState state;
    auto status = SaveSettings(dir.File("gone/Quorlan.ini"), state, WindowPlacement{}, logs);
    EXPECT_FALSE(status.ok);
    ASSERT_EQ(logs.debug.size(), 1u);
    EXPECT_NE(logs.debug[0].find("Unable to write to"), std::string::npos);
}

} // namespace
