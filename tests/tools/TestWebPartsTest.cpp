#include "board/MarkupLinks.h"
#include "board/PostListCompare.h"
#include "tools/testweb/AutoPoster.h"
#include "tools/testweb/BoardPages.h"
#include "tools/testweb/MarketTitles.h"
#include "tools/testweb/QueryString.h"

#include <gtest/gtest.h>

#include <set>

using namespace quorlan;

namespace {

struct DecodeCase {
    std::string in;
    bool plusIsSpace;
    std::string out;
};

const DecodeCase kDecodeCases[] = {
    {"%41%62c", false, "Abc"},
    {"%c1%F7", false, "\xC1\xF7"},
    {"a+b", true, "a b"},
    {"a+b", false, "a+b"},
    {"%2B", true, "+"},
    {"100%", true, "100%"},
    {"%4", true, "%4"},
    {"%zz%", true, "%zz%"},
    {"%00x", true, std::string("\0x", 2)},
    {"", true, ""},
};

std::chrono::system_clock::time_point FixedNow() {
    return std::chrono::system_clock::time_point{std::chrono::seconds{1'700'000'000}};
}

} // namespace

TEST(PercentDecode, DecodesValidEscapesAndKeepsBrokenOnes) {
    for (const DecodeCase& c : kDecodeCases) {
        EXPECT_EQ(testweb::PercentDecode(c.in, c.plusIsSpace), c.out) << c.in;
    }
}

TEST(ParseQuery, KeepsOrderDuplicatesAndKeysWithoutValue) {
    const auto params = testweb::ParseQuery("a=1&&b&a=2&c=x%3Dy=z&=v");
    ASSERT_EQ(params.size(), 5u);
    EXPECT_EQ(params[0].key, "a");
    EXPECT_EQ(params[0].value, "1");
    EXPECT_EQ(params[1].key, "b");
    EXPECT_EQ(params[1].value, "");
    EXPECT_EQ(params[3].value, "x=y=z");
    EXPECT_EQ(params[4].key, "");
    EXPECT_EQ(testweb::FindParam(params, "a"), "1");
    EXPECT_EQ(testweb::FindParam(params, "missing"), std::nullopt);
    EXPECT_TRUE(testweb::ParseQuery("").empty());
}

TEST(EscapeUnprintable, EscapesEverythingOutsidePrintableAscii) {
    EXPECT_EQ(testweb::EscapeUnprintable(std::string("a b\r\n\x7F\xC1~%", 9)), "a%20b%0D%0A%7F%C1~%");
}

TEST(Board, DropsOldestBeyondCapacityAndNeverReusesNumbers) {
    testweb::Board board(&FixedNow, 3);
    for (int i = 0; i < 5; ++i) board.AddPost({"t" + std::to_string(i), "w", "", 0, 0, std::nullopt});
    ASSERT_EQ(board.Size(), 3u);
    const auto newest = board.Newest(10);
    ASSERT_EQ(newest.size(), 3u);
    EXPECT_EQ(newest[0].no, 5);
    EXPECT_EQ(newest[2].no, 3);
    EXPECT_EQ(newest[0].created, FixedNow());
    EXPECT_FALSE(board.OpenPost(2).has_value());
    EXPECT_FALSE(board.OpenPost(6).has_value());
    EXPECT_EQ(board.OpenPost(4)->views, 1);
    EXPECT_EQ(board.OpenPost(4)->views, 2);
}

TEST(MarketTitles, SomeTitlesOfferDirectDealing) {
    const std::string word = "직거래";
    auto count = [&](const std::vector<std::string>& titles) {
        return std::count_if(titles.begin(), titles.end(),
                             [&](const std::string& t) { return t.find(word) != std::string::npos; });
    };
    EXPECT_GT(count(testweb::AutoPostTitles()), 3);
    EXPECT_LT(count(testweb::AutoPostTitles()), static_cast<long>(testweb::AutoPostTitles().size()));
    EXPECT_GT(count(testweb::SeedTitles()), 0);
    EXPECT_GE(testweb::SeedTitles().size(), 20u);
    EXPECT_LE(testweb::SeedTitles().size(), 30u);
}

// Over several rounds of the title list, every automatic post shows up on the
// next list page as exactly one new line (as clients compare lines), which is
// what the demo and the full-loop test rely on.
TEST(AutoPoster, EveryPostIsExactlyOneNewLineOfTheListPage) {
    testweb::Board board(&FixedNow);
    testweb::SeedBoard(board, FixedNow());
    testweb::AutoPoster poster(board, std::chrono::seconds(0));
    const std::string origin = "http://127.0.0.1:8080";
    const std::string listUrl = origin + "/bbs/zboard.php?id=share";
    board::PostList before =
        board::ExtractPostList(testweb::RenderBoardList(board.Newest(testweb::kListPageRows), origin), listUrl);
    const std::size_t rounds = testweb::AutoPostTitles().size() * 3 + 1;
    for (std::size_t i = 0; i < rounds; ++i) {
        const testweb::Post post = poster.PostNext();
        EXPECT_EQ(post.no, static_cast<int>(testweb::SeedTitles().size() + i + 1));
        const board::PostList after =
            board::ExtractPostList(testweb::RenderBoardList(board.Newest(testweb::kListPageRows), origin), listUrl);
        const std::vector<std::size_t> fresh = board::FindNewLines(after, before);
        ASSERT_EQ(fresh.size(), 1u) << "post " << post.no;
        EXPECT_EQ(fresh[0], 1u) << "the first row under the notice";
        before = after;
    }
}

TEST(AutoPoster, StopReturnsWithoutWaitingForTheInterval) {
    testweb::Board board(&FixedNow);
    testweb::AutoPoster poster(board, std::chrono::hours(1));
    poster.Start();
    poster.Start();
    poster.Stop();
    EXPECT_EQ(board.Size(), 0u);
    poster.Stop();
}
