#include "shell/SearchSwitch.h"

#include "base/Cp949.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeSocket.h"
#include "fakes/RecordingLogs.h"

#include <gtest/gtest.h>

namespace quorlan::shell {
namespace {

class RecordingSwitchView : public ISearchSwitchView {
public:
    void OpenBoardModal() override { ++boardModalOpened; }
    void SetStartCaption(const std::string& caption) override { this->caption = caption; }
    void SetSettingControlsEnabled(bool enabled) override { controlsEnabled = enabled; }
    void SetStatusPanel(int index, const std::string& text) override { panels[index] = text; }

    int boardModalOpened = 0;
    std::string caption;
    bool controlsEnabled = true;
    std::string panels[2];
};

class SearchSwitchTest : public ::testing::Test {
protected:
    SearchSwitchTest() {
        state.FBoardSet = true;
        state.FBoardURL = "http://127.0.0.1/bbs/zboard.php?id=share";
        view.panels[1] = "before";
        searchSwitch.SetView(&view);
    }

    test::FakeSocket socket;
    test::RecordingLogs logs;
    test::RecordingMessageBox box;
    test::FakeClock clock;
    client::ClientState state;
    net::Sender sender{socket, logs, box};
    RecordingSwitchView view;
    SearchSwitch searchSwitch{state, sender, logs, clock};
};

struct NoBoardCase {
    const char* name;
    bool boardSet;
    const char* url;
};

class SearchSwitchNoBoardTest : public SearchSwitchTest, public ::testing::WithParamInterface<NoBoardCase> {};

TEST_P(SearchSwitchNoBoardTest, OpensTheBoardWindowInsteadOfStarting) {
    state.FBoardSet = GetParam().boardSet;
    state.FBoardURL = GetParam().url;

    searchSwitch.BtnStartClick();

    EXPECT_EQ(view.boardModalOpened, 1);
    EXPECT_FALSE(state.FSearching);
    EXPECT_TRUE(socket.written.empty());
    EXPECT_TRUE(logs.messages.empty());
    EXPECT_EQ(view.caption, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, SearchSwitchNoBoardTest,
                         ::testing::Values(NoBoardCase{"NotAccepted", false, "http://x/"},
                                           NoBoardCase{"EmptyUrl", true, ""}, NoBoardCase{"Neither", false, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SearchSwitchTest, StartSendsSearchStateOneAndLocksTheSettings) {
    clock.tick = 123456;

    searchSwitch.BtnStartClick();

    const std::vector<std::uint8_t> expected = {0x07, 0x00, 0x6D, 0x01, 0x00, 0x00, 0x00};
    EXPECT_EQ(socket.written, expected);
    EXPECT_TRUE(state.FSearching);
    EXPECT_EQ(state.CycleStartTime, 123456U);
    EXPECT_EQ(base::Utf8FromCp949(view.caption), "검색중지");
    EXPECT_FALSE(view.controlsEnabled);
    ASSERT_EQ(logs.messages.size(), 1U);
    EXPECT_EQ(base::Utf8FromCp949(logs.messages[0]), "검색을 시작했습니다.");
    EXPECT_EQ(view.panels[1], "before"); // Start leaves the panel to the next countdown tick
}

TEST_F(SearchSwitchTest, StopSendsSearchStateZeroAndUnlocks) {
    searchSwitch.BtnStartClick();
    socket.ClearWritten();

    searchSwitch.BtnStartClick();

    const std::vector<std::uint8_t> expected = {0x07, 0x00, 0x6D, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(socket.written, expected);
    EXPECT_FALSE(state.FSearching);
    EXPECT_EQ(base::Utf8FromCp949(view.caption), "시작");
    EXPECT_EQ(base::Utf8FromCp949(view.panels[1]), "대기");
    EXPECT_TRUE(view.controlsEnabled);
    ASSERT_EQ(logs.messages.size(), 2U);
    EXPECT_EQ(base::Utf8FromCp949(logs.messages[1]), "검색을 중지했습니다.");
}

TEST_F(SearchSwitchTest, StopWhileCutOffFromTheServerLeavesThePanelSayingSo) {
    searchSwitch.BtnStartClick();
    state.FServerCutOff = true;
    searchSwitch.BtnStartClick();
    EXPECT_FALSE(state.FSearching);
    EXPECT_EQ(view.panels[1], "before");
}

TEST_F(SearchSwitchTest, StateChangesEvenWhenTheSendFails) {
    socket.connected = false;

    searchSwitch.BtnStartClick();

    EXPECT_TRUE(state.FSearching);
    EXPECT_EQ(base::Utf8FromCp949(view.caption), "검색중지");
    EXPECT_EQ(logs.debug, std::vector<std::string>{"Socket: !!! Send Error "});
}

} // namespace
} // namespace quorlan::shell
