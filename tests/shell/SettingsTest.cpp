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
              "param1=G>?kGNCnH>OqHn[;.\r\nparam2=W;;;.\r\nSound=0\r\nExclude=\r\n\r\n[Window]\r\nState=2\r\n");

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

std::string Widen(std::string_view ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

// The watch list and the words to leave out in each encoding a settings file
// may come in: read into cp949, written back in the file's own encoding with
// its mark (or without it, as it came), and read again alike.
TEST_F(SettingsTest, WatchListRoundTripsInEveryEncoding) {
    const struct {
        const char* name;
        std::string mark;
        bool wide;
        // 맥북, 삽니다, 라데온, 품절, 자전거 as the file writes them
        std::string words[5];
    } cases[] = {
        {"cp949",
         "",
         false,
         {"\xB8\xC6\xBA\xCF", "\xBB\xF0\xB4\xCF\xB4\xD9", "\xB6\xF3\xB5\xA5\xBF\xC2", "\xC7\xB0\xC0\xFD",
          "\xC0\xDA\xC0\xFC\xB0\xC5"}},
        {"UTF-8 without a mark",
         "",
         false,
         {"\xEB\xA7\xA5\xEB\xB6\x81", "\xEC\x82\xBD\xEB\x8B\x88\xEB\x8B\xA4", "\xEB\x9D\xBC\xEB\x8D\xB0\xEC\x98\xA8",
          "\xED\x92\x88\xEC\xA0\x88", "\xEC\x9E\x90\xEC\xA0\x84\xEA\xB1\xB0"}},
        {"UTF-8 with a mark",
         "\xEF\xBB\xBF",
         false,
         {"\xEB\xA7\xA5\xEB\xB6\x81", "\xEC\x82\xBD\xEB\x8B\x88\xEB\x8B\xA4", "\xEB\x9D\xBC\xEB\x8D\xB0\xEC\x98\xA8",
          "\xED\x92\x88\xEC\xA0\x88", "\xEC\x9E\x90\xEC\xA0\x84\xEA\xB1\xB0"}},
        {"UTF-16LE",
         "\xFF\xFE",
         true,
         {"\xE5\xB9\x81\xBD", "\xBD\xC0\xC8\xB2\xE4\xB2", "\x7C\xB7\x70\xB3\x28\xC6", "\x88\xD4\x08\xC8",
          "\x90\xC7\x04\xC8\x70\xAC"}},
    };
    const std::string cp[5] = {"\xB8\xC6\xBA\xCF", "\xBB\xF0\xB4\xCF\xB4\xD9", "\xB6\xF3\xB5\xA5\xBF\xC2",
                               "\xC7\xB0\xC0\xFD", "\xC0\xDA\xC0\xFC\xB0\xC5"};
    for (const auto& c : cases) {
        auto a = [&](std::string_view ascii) { return c.wide ? Widen(ascii) : std::string(ascii); };
        TempDir::Write(path, c.mark + a("[config]\r\nSearchCondition=") + c.words[0] + a("\r\nExclude=") + c.words[1] +
                                 a(", GTX\r\nWatch1=RTX+") + c.words[2] + a("\r\nWatch1Exclude=") + c.words[3] +
                                 a("\r\nWatch1Off=1\r\n"));
        ClientState state;
        LoadSettings(path, state, logs);
        EXPECT_EQ(state.FSearchCondition, cp[0]) << c.name;
        EXPECT_EQ(state.FExclude, (std::vector<std::string>{cp[1], "GTX"})) << c.name;
        ASSERT_EQ(state.FWatchList.size(), 1u) << c.name;
        EXPECT_EQ(state.FWatchList[0], (quorlan::client::WatchEntry{"RTX+" + cp[2], {cp[3]}, true})) << c.name;

        state.FWatchList[0].off = false;
        state.FWatchList.push_back({cp[4], {}, true});
        ASSERT_TRUE(SaveSettings(path, state, WindowPlacement{}, logs).ok) << c.name;
        const std::string text = TempDir::Read(path);
        EXPECT_EQ(text.substr(0, c.mark.size() + 1), c.mark + a("[").substr(0, 1)) << c.name;
        EXPECT_NE(text.find(a("\r\nExclude=") + c.words[1] + a(",GTX\r\n")), std::string::npos) << c.name;
        EXPECT_NE(text.find(a("\r\nWatch1Off=0\r\nWatch2=") + c.words[4] + a("\r\nWatch2Exclude=\r\nWatch2Off=1\r\n")),
                  std::string::npos)
            << c.name;

        ClientState loaded;
        LoadSettings(path, loaded, logs);
        EXPECT_EQ(loaded.FExclude, state.FExclude) << c.name;
        EXPECT_EQ(loaded.FWatchList, state.FWatchList) << c.name;
    }
    EXPECT_TRUE(logs.messages.empty());
    EXPECT_TRUE(logs.debug.empty());
}

TEST_F(SettingsTest, MalformedWatchEntriesAreSkippedToldOnceAndKeptForTheirAuthor) {
    TempDir::Write(path, "[config]\nWatch1=bike\nWatch2=ab\nWatch3Exclude=x\nWatch4=a&b+c\nWatch5=abc\nWatch5Off=yes\n"
                         "Watch07=abc\nWatch9=lamp\nWatch9Exclude=sold, wanted\nWatchful=1\n");
    ClientState state;
    LoadSettings(path, state, logs);
    EXPECT_EQ(state.FWatchList,
              (std::vector<quorlan::client::WatchEntry>{{"bike", {}, false}, {"lamp", {"sold", "wanted"}, false}}));
    const auto cp = [](const char* utf8) { return quorlan::base::Cp949FromUtf8(utf8); };
    EXPECT_EQ(logs.messages, (std::vector<std::string>{
                                 cp("설정 파일의 Watch2 항목을 건너뜁니다: 한글자이상 검색가능합니다."),
                                 cp("설정 파일의 Watch3 항목을 건너뜁니다: Watch3 키가 없습니다."),
                                 cp("설정 파일의 Watch4 항목을 건너뜁니다: 검색조합은 1개만 사용가능합니다."),
                                 cp("설정 파일의 Watch5 항목을 건너뜁니다: Watch5Off 값이 숫자가 아닙니다."),
                                 cp("설정 파일의 Watch07 키를 알 수 없어 건너뜁니다."),
                             }));

    // The user removes the first entry: the list closes up, the skipped
    // entries follow as they stood, the unknown key stays where it was.
    state.FWatchList.erase(state.FWatchList.begin());
    ASSERT_TRUE(SaveSettings(path, state, WindowPlacement{}, logs).ok);
    const std::string text = TempDir::Read(path);
    EXPECT_EQ(text.substr(0, text.find("Left=")), "[config]\nWatch07=abc\nWatchful=1\n");
    EXPECT_NE(text.find("Watch1=lamp\nWatch1Exclude=sold,wanted\nWatch1Off=0\nWatch2=ab\nWatch3Exclude=x\n"
                        "Watch4=a&b+c\nWatch5=abc\nWatch5Off=yes\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Watch9"), std::string::npos);

    logs.messages.clear();
    ClientState loaded;
    LoadSettings(path, loaded, logs);
    EXPECT_EQ(loaded.FWatchList, state.FWatchList);
    EXPECT_EQ(logs.messages.size(), 5u);
}

TEST_F(SettingsTest, RemovedWatchEntriesDoNotComeBack) {
    ClientState state;
    state.FWatchList = {{"one", {}, false}, {"two", {}, false}, {"three", {"x"}, true}};
    ASSERT_TRUE(SaveSettings(path, state, WindowPlacement{}, logs).ok);
    state.FWatchList.resize(1);
    ASSERT_TRUE(SaveSettings(path, state, WindowPlacement{}, logs).ok);
    ClientState loaded;
    LoadSettings(path, loaded, logs);
    EXPECT_EQ(loaded.FWatchList, state.FWatchList);
    EXPECT_EQ(TempDir::Read(path).find("Watch2"), std::string::npos);
}

TEST_F(SettingsTest, FailedSaveIsLoggedAndReturned) {
    ClientState state;
    auto status = SaveSettings(dir.File("gone/Quorlan.ini"), state, WindowPlacement{}, logs);
    EXPECT_FALSE(status.ok);
    ASSERT_EQ(logs.debug.size(), 1u);
    EXPECT_NE(logs.debug[0].find("Unable to write to"), std::string::npos);
}

} // namespace
