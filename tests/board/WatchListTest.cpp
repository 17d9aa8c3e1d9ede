#include "board/WatchList.h"
#include "base/Cp949.h"
#include "board/WatchListEditor.h"
#include "fakes/RecordingLogs.h"

#include <gtest/gtest.h>

using namespace quorlan;

namespace {

std::string Cp(const char* utf8) {
    return base::Cp949FromUtf8(utf8);
}

TEST(SplitExcludeWords, CommasSeparateBlanksAroundAWordGoEmptyOnesAreIgnored) {
    const struct {
        std::string text;
        std::vector<std::string> words;
    } cases[] = {
        {"", {}},
        {" , ,", {}},
        {Cp("삽니다"), {Cp("삽니다")}},
        {Cp("삽니다, 구매 ,품절"), {Cp("삽니다"), Cp("구매"), Cp("품절")}},
        {"a,,b,", {"a", "b"}},
        {"\tfor sale\t", {"for sale"}}, // blanks inside a word stay
    };
    for (const auto& c : cases) {
        EXPECT_EQ(board::SplitExcludeWords(c.text), c.words) << c.text;
        EXPECT_EQ(board::SplitExcludeWords(board::JoinExcludeWords(c.words)), c.words) << c.text;
    }
}

// A marketplace watcher's list: the main condition with its words to leave
// out, then three further conditions, the last one switched off.
client::ClientState MarketWatcher() {
    client::ClientState state;
    state.FSearchCondition = Cp("맥북");
    state.FExclude = {Cp("삽니다"), Cp("구매")};
    state.FWatchList = {
        {Cp("아이폰&미개봉"), {Cp("품절")}, false},
        {"RTX+" + Cp("라데온"), {}, false},
        {Cp("자전거"), {}, true},
    };
    return state;
}

TEST(FirstHitCondition, MainFirstThenTheListInOrderEachWithItsOwnWordsToLeaveOut) {
    const client::ClientState state = MarketWatcher();
    const struct {
        const char* line;
        const char* hit; // nullptr: no hit
    } cases[] = {
        {"[판매] 맥북 에어 M2", "맥북"},
        {"맥북 삽니다", nullptr},                            // the main condition's word to leave out
        {"맥북 구매 원해요 아이폰 미개봉", "아이폰&미개봉"}, // main left out, the next one hits
        {"미개봉 아이폰 15", "아이폰&미개봉"},               // order does not matter in A&B
        {"아이폰 15 미개봉 품절", nullptr},                  // that entry's own word to leave out
        {"아이폰 중고", nullptr},
        {"RTX 4070 팝니다", "RTX+라데온"},
        {"라데온 7900", "RTX+라데온"},
        {"rtx 4070", nullptr},           // case counts
        {"라데온 삽니다", "RTX+라데온"}, // the main condition's words leave out only for it
        {"맥북 RTX 노트북", "맥북"},     // several hit: the first one is said
        {"자전거 팝니다", nullptr},      // switched off
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<std::string> hit = board::FirstHitCondition(state, Cp(c.line));
        if (c.hit) {
            ASSERT_TRUE(hit) << c.line;
            EXPECT_EQ(*hit, Cp(c.hit)) << c.line;
        } else {
            EXPECT_FALSE(hit) << c.line;
        }
    }
}

TEST(WatchHits, AWordToLeaveOutIsAByteSubstringAndAnEmptyListLeavesNothingOut) {
    EXPECT_TRUE(board::WatchHits("bike", {}, "bike"));
    EXPECT_FALSE(board::WatchHits("bike", {"ike"}, "bike")); // inside the condition's own word
    EXPECT_FALSE(board::WatchHits("bike", {"Sold"}, "bike Sold"));
    EXPECT_TRUE(board::WatchHits("bike", {"sold"}, "bike Sold"));
    EXPECT_TRUE(board::WatchHits("bike", {""}, "bike")); // an empty word occurs nowhere
    EXPECT_FALSE(board::WatchHits("bike&", {}, "bike")); // the grammar is the main condition's
}

class WatchListEditorTest : public ::testing::Test {
protected:
    client::ClientState state;
    test::RecordingMessageBox box;
    board::WatchListEditor editor{state, box};
    const std::string tooShort = Cp("한글자이상 검색가능합니다.");
    const std::string twoOperators = Cp("검색조합은 1개만 사용가능합니다.");
};

TEST_F(WatchListEditorTest, RefusesWhatTheDialogRefusesWithItsTextsInItsOrder) {
    const struct {
        std::string condition;
        std::vector<std::string> messages;
    } cases[] = {
        {"abc", {}},      {"ab", {tooShort}},        {Cp("가"), {tooShort}},
        {"", {tooShort}}, {"a&b+c", {twoOperators}}, {"&+", {tooShort, twoOperators}},
        {"bike&", {}},
    };
    for (const auto& c : cases) {
        box.shown.clear();
        const std::size_t before = state.FWatchList.size();
        EXPECT_EQ(editor.Add(c.condition, "x"), c.messages.empty()) << c.condition;
        EXPECT_EQ(box.shown, c.messages) << c.condition;
        EXPECT_EQ(state.FWatchList.size(), before + (c.messages.empty() ? 1 : 0)) << c.condition;
    }
}

TEST_F(WatchListEditorTest, AddsEditsSwitchesAndRemovesAndARefusedEditKeepsTheEntry) {
    ASSERT_TRUE(editor.Add(Cp("맥북"), Cp("삽니다, 구매")));
    ASSERT_TRUE(editor.Add("RTX+GTX", ""));
    EXPECT_EQ(state.FWatchList[0], (client::WatchEntry{Cp("맥북"), {Cp("삽니다"), Cp("구매")}, false}));

    EXPECT_FALSE(editor.Edit(0, "ab", "x"));
    EXPECT_EQ(state.FWatchList[0].condition, Cp("맥북"));
    EXPECT_TRUE(editor.Edit(0, Cp("맥북&프로"), ""));
    EXPECT_EQ(state.FWatchList[0], (client::WatchEntry{Cp("맥북&프로"), {}, false}));

    editor.SetOff(1, true);
    EXPECT_TRUE(state.FWatchList[1].off);
    editor.Remove(0);
    ASSERT_EQ(state.FWatchList.size(), 1u);
    EXPECT_EQ(state.FWatchList[0].condition, "RTX+GTX");

    // An index past the end changes nothing.
    EXPECT_FALSE(editor.Edit(5, "abc", ""));
    editor.SetOff(5, true);
    editor.Remove(5);
    EXPECT_EQ(state.FWatchList.size(), 1u);

    editor.SetMainExclude(Cp(" 삽니다 ,품절"));
    EXPECT_EQ(state.FExclude, (std::vector<std::string>{Cp("삽니다"), Cp("품절")}));
}

TEST_F(WatchListEditorTest, TheListStopsAtItsBound) {
    state.FWatchList.assign(board::kMaxWatchEntries, client::WatchEntry{"abc", {}, false});
    EXPECT_FALSE(editor.Add("xyz", ""));
    EXPECT_EQ(box.shown, std::vector<std::string>{Cp("검색단어 목록은 1000개까지입니다.")});
    EXPECT_EQ(state.FWatchList.size(), board::kMaxWatchEntries);
}

} // namespace
