#include "board/CheckCycle.h"
#include "fakes/FakeBrowser.h"
#include "fakes/FakeSocket.h"
#include "fakes/FakeTimer.h"
#include "fakes/RecordingLogs.h"
#include "net/Codec.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace quorlan;
using board::PostList;

namespace {

// A message box whose first showing runs a hook, as events handled while the
// real modal box is open would.
class HookedMessageBox : public base::IMessageBox {
public:
    void ShowMessage(const std::string& text) override {
        shown.push_back(text);
        if (onFirstShow) std::exchange(onFirstShow, nullptr)();
    }
    std::vector<std::string> shown;
    std::function<void()> onFirstShow;
};

struct Sent {
    char type;
    std::string text;
    bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sent& s) { return out << s.type << ":" << s.text; }

struct Rig {
    test::FakeSocket socket;
    test::RecordingLogs logs;
    HookedMessageBox box;
    net::Sender sender{socket, logs, box};
    test::FakeBrowser browser;
    test::FakeTimer timer;
    client::ClientState state;
    board::CheckCycle cycle{browser, timer, sender, logs, state};

    Rig() { state.FBoardURL = "http://board.example/bbs/zboard.php?id=share"; }

    std::vector<Sent> SentPackets() const {
        std::vector<Sent> out;
        for (const auto& bytes : socket.writes) {
            const auto decoded = net::DecodeClientRequest(bytes.data(), bytes.size());
            EXPECT_TRUE(decoded.request.has_value()) << decoded.error;
            if (decoded.request) out.push_back({static_cast<char>(decoded.request->type), decoded.request->text});
        }
        return out;
    }
    std::vector<std::string> CheckLines() const {
        std::vector<std::string> out;
        for (const auto& line : logs.debug) {
            if (line.rfind("Check : ", 0) == 0) out.push_back(line);
        }
        return out;
    }
    // One full check: CheckList, page loaded, timer fired.
    void RunCheck(const PostList& server, const std::string& markup) {
        cycle.ReceiveCheckList(board::WritePostListText(server));
        browser.markup = markup;
        cycle.DocumentComplete(state.FBoardURL);
        cycle.TimerCompareTimer();
    }
};

// A board list page: one row a post, each linked to its own number.
std::string Markup(const PostList& titles) {
    std::string markup = "<table>\n";
    int no = 0;
    for (const auto& title : titles)
        markup += "<tr><td><a href=\"view.php?no=" + std::to_string(++no) + "\">" + title + "</a></td></tr>\n";
    return markup + "</table>";
}

// Titles that stay distinct once digits and spaces are removed.
std::string Title(int k) { return std::string("post ") + char('A' + k / 26) + char('a' + k % 26); }

std::string ListText(const PostList& lines) { return board::WritePostListText(lines); }

} // namespace

TEST(CheckCycle, CheckListStoresTheListAndReloadsTheBoard) {
    Rig rig;
    rig.cycle.ReceiveCheckList("a\r\nb\n\rc");
    EXPECT_EQ(rig.cycle.FServerList, (PostList{"a", "b", "", "c"}));
    EXPECT_TRUE(rig.cycle.FServerListPending);
    EXPECT_EQ(rig.browser.navigations, std::vector<std::string>{rig.state.FBoardURL});
    rig.cycle.ReceiveCheckList("");
    EXPECT_TRUE(rig.cycle.FServerList.empty());
    EXPECT_EQ(rig.browser.navigations.size(), 2u);
    EXPECT_TRUE(rig.socket.writes.empty());
}

TEST(CheckCycle, DocumentCompleteRestartsTheTimerExceptForAboutBlank) {
    Rig rig;
    rig.cycle.DocumentComplete("about:blank");
    EXPECT_TRUE(rig.logs.debug.empty());
    EXPECT_EQ(rig.timer.starts + rig.timer.stops, 0);
    rig.cycle.DocumentComplete("http://board.example/x");
    rig.cycle.DocumentComplete("http://board.example/y");
    EXPECT_EQ(rig.logs.debug,
              (std::vector<std::string>{"WebBrowser: http://board.example/x", "WebBrowser: http://board.example/y"}));
    EXPECT_TRUE(rig.timer.active);
    EXPECT_EQ(rig.timer.starts, 2);
    EXPECT_EQ(rig.timer.stops, 2);
}

TEST(CheckCycle, ListRequestAnswersWithThePageShown) {
    Rig rig;
    rig.browser.markup = Markup({"ab", "c"});
    rig.cycle.AnswerListRequest();
    EXPECT_EQ(rig.cycle.FPageList, (PostList{"ab", "c"}));
    ASSERT_EQ(rig.socket.writes.size(), 1u);
    EXPECT_EQ(rig.socket.writes[0],
              (std::vector<std::uint8_t>{0x0B, 0x00, 'i', 'a', 'b', '\r', '\n', 'c', '\r', '\n', 0x00}));
    EXPECT_TRUE(rig.browser.navigations.empty());
}

TEST(CheckCycle, UnreadablePageSendsNothing) {
    Rig rig;
    rig.cycle.FPageList = {"old"};
    rig.browser.markup.reset();
    rig.cycle.AnswerListRequest();
    EXPECT_TRUE(rig.cycle.FPageList.empty());
    EXPECT_TRUE(rig.socket.writes.empty());
    EXPECT_EQ(rig.logs.debug, std::vector<std::string>{"WebBrowser: no document to read"});

    rig.cycle.ReceiveCheckList(ListText({"a"}));
    rig.cycle.DocumentComplete(rig.state.FBoardURL);
    rig.cycle.TimerCompareTimer();
    EXPECT_TRUE(rig.socket.writes.empty());
    EXPECT_TRUE(rig.cycle.FServerListPending) << "the next completed document brings the next try";
    EXPECT_FALSE(rig.timer.active);

    rig.browser.markup = Markup({"a", "b"});
    rig.cycle.TimerCompareTimer();
    EXPECT_EQ(rig.SentPackets(), (std::vector<Sent>{{'j', ListText({"a", "b"})}, {'k', "b"}}));
    EXPECT_FALSE(rig.cycle.FServerListPending);
}

TEST(CheckCycle, FiringWithoutPendingListOnlyRefreshesThePageList) {
    Rig rig;
    rig.browser.markup = Markup({"x", "y"});
    rig.cycle.DocumentComplete("http://board.example/");
    rig.cycle.TimerCompareTimer();
    EXPECT_FALSE(rig.timer.active);
    EXPECT_EQ(rig.cycle.FPageList, (PostList{"x", "y"}));
    EXPECT_TRUE(rig.socket.writes.empty());
}

TEST(CheckCycle, EqualListsReportOnly) {
    Rig rig;
    rig.RunCheck({"Bike [3] 12:30", "Car"}, Markup({"Bike [15] 13:45", "Car"}));
    EXPECT_EQ(rig.SentPackets(), (std::vector<Sent>{{'j', ListText({"Bike [15] 13:45", "Car"})}}));
    EXPECT_TRUE(rig.CheckLines().empty());
    EXPECT_FALSE(rig.cycle.FServerListPending);
}

TEST(CheckCycle, NewPostBytes) {
    Rig rig;
    rig.RunCheck({"cd"}, Markup({"ab", "cd"}));
    ASSERT_EQ(rig.socket.writes.size(), 2u);
    EXPECT_EQ(rig.socket.writes[1], (std::vector<std::uint8_t>{0x06, 0x00, 'k', 'a', 'b', 0x00}));
}

// n new lines among old ones: under 20 each is logged twice and sent in page
// order; at 20 or more each is logged once and only the report goes out.
class CutOff : public testing::TestWithParam<int> {};

TEST_P(CutOff, SendsOnlyUnderTwentyNewLines) {
    const int n = GetParam();
    const PostList server{"kept A 99", "kept B", "kept C 7", "gone"};
    PostList page{"kept A 12"};
    PostList fresh;
    for (int k = 0; k < n; ++k) {
        page.push_back(Title(k));
        fresh.push_back(Title(k));
        if (k == n / 2) page.push_back("kept B 3");
    }
    page.push_back("kept C");
    Rig rig;
    rig.RunCheck(server, Markup(page));

    std::vector<std::string> once, expectedLog;
    std::vector<Sent> expectedSent{{'j', ListText(page)}};
    for (const auto& line : fresh) once.push_back("Check : " + line);
    expectedLog = once;
    if (n < 20) {
        expectedLog.insert(expectedLog.end(), once.begin(), once.end());
        for (const auto& line : fresh) expectedSent.push_back({'k', line});
    }
    EXPECT_EQ(rig.CheckLines(), expectedLog);
    EXPECT_EQ(rig.SentPackets(), expectedSent);
    EXPECT_FALSE(rig.cycle.FServerListPending);
}

INSTANTIATE_TEST_SUITE_P(NewLines, CutOff, testing::Values(0, 5, 15, 19, 20, 21));

TEST(CheckCycle, EmptyServerListAgainstFullPageSendsNothing) {
    PostList page;
    for (int k = 0; k < 30; ++k) page.push_back(Title(k));
    Rig rig;
    rig.RunCheck({}, Markup(page));
    EXPECT_EQ(rig.CheckLines().size(), 30u);
    EXPECT_EQ(rig.SentPackets().size(), 1u);
}

TEST(CheckCycle, DuplicateNewLineIsSentTwice) {
    Rig rig;
    rig.RunCheck({"old"}, Markup({"new", "old", "new"}));
    EXPECT_EQ(rig.SentPackets(),
              (std::vector<Sent>{{'j', ListText({"new", "old", "new"})}, {'k', "new"}, {'k', "new"}}));
    EXPECT_EQ(rig.CheckLines().size(), 4u);
}

TEST(CheckCycle, RefusedLineDoesNotStopThePass) {
    const std::string longLine(256, 'L');
    Rig rig;
    rig.RunCheck({}, Markup({"first", longLine, "last"}));
    EXPECT_EQ(rig.SentPackets(),
              (std::vector<Sent>{{'j', ListText({"first", longLine, "last"})}, {'k', "first"}, {'k', "last"}}));
    EXPECT_EQ(rig.box.shown, std::vector<std::string>{"error"});
    EXPECT_EQ(rig.CheckLines().size(), 6u);
}

TEST(CheckCycle, ReportTooLongIsRefusedButTheComparisonRuns) {
    PostList page;
    for (int k = 0; k < 40; ++k) page.push_back(Title(k) + std::string(200, 'x'));
    PostList server(page.begin() + 1, page.end());
    Rig rig;
    rig.RunCheck(server, Markup(page));
    EXPECT_EQ(rig.SentPackets(), (std::vector<Sent>{{'k', page[0]}}));
    EXPECT_EQ(rig.box.shown, std::vector<std::string>{"error"});
}

// Events handled while the "error" box of a refused line is open. The running
// comparison keeps its own lists: each of its new lines goes out exactly once.
namespace {

struct ReentryCase {
    const char* name;
    std::function<void(Rig&)> whileBoxOpen;
    std::vector<Sent> nestedSends;   // sent by the nested events themselves
    bool pendingAfter;
};

const PostList kReentryPage{"n1", std::string(300, 'L'), "n2", "n3"};
const PostList kOtherPage{"other", "page"};
const PostList kNewerServer{"n1", std::string(300, 'L'), "n2", "n3"};

const ReentryCase kReentryCases[] = {
    {"ListRequest on another page",
     [](Rig& rig) {
         rig.browser.markup = Markup(kOtherPage);
         rig.cycle.AnswerListRequest();
     },
     {{'i', ListText(kOtherPage)}}, false},
    {"CheckList replaces the server list",
     [](Rig& rig) { rig.cycle.ReceiveCheckList(ListText(kNewerServer)); }, {}, true},
    {"another firing of the timer", [](Rig& rig) { rig.cycle.TimerCompareTimer(); }, {}, false},
    {"CheckList, page complete, firing",
     [](Rig& rig) {
         rig.cycle.ReceiveCheckList(ListText(kNewerServer));
         rig.cycle.DocumentComplete(rig.state.FBoardURL);
         rig.cycle.TimerCompareTimer();
     },
     {{'j', ListText(kReentryPage)}}, false},
};

} // namespace

TEST(CheckCycle, ReentryWhileErrorBoxIsOpenSendsEachLineOnce) {
    for (const auto& c : kReentryCases) {
        Rig rig;
        rig.box.onFirstShow = [&] { c.whileBoxOpen(rig); };
        rig.RunCheck({}, Markup(kReentryPage));

        std::vector<Sent> expected{{'j', ListText(kReentryPage)}, {'k', "n1"}};
        expected.insert(expected.end(), c.nestedSends.begin(), c.nestedSends.end());
        expected.push_back({'k', "n2"});
        expected.push_back({'k', "n3"});
        EXPECT_EQ(rig.SentPackets(), expected) << c.name;
        EXPECT_EQ(rig.cycle.FServerListPending, c.pendingAfter) << c.name;
    }
}

TEST(CheckCycle, CompareAnswerAfterANewerDocumentIsDropped) {
    Rig rig;
    rig.browser.answerAtOnce = false;
    rig.cycle.ReceiveCheckList(ListText({"kept"}));
    rig.cycle.DocumentComplete(rig.state.FBoardURL);
    rig.cycle.TimerCompareTimer();
    rig.cycle.DocumentComplete(rig.state.FBoardURL + "&page=2");
    rig.browser.Answer(0, Markup({"stale", "kept"}));
    EXPECT_TRUE(rig.socket.writes.empty());
    EXPECT_TRUE(rig.cycle.FPageList.empty());
    EXPECT_TRUE(rig.cycle.FServerListPending);

    rig.cycle.TimerCompareTimer();
    rig.browser.Answer(1, Markup({"fresh", "kept"}));
    EXPECT_EQ(rig.SentPackets(), (std::vector<Sent>{{'j', ListText({"fresh", "kept"})}, {'k', "fresh"}}));
}

TEST(CheckCycle, CompareAnswerAfterANewerCheckListIsDropped) {
    Rig rig;
    rig.browser.answerAtOnce = false;
    rig.cycle.ReceiveCheckList(ListText({"a"}));
    rig.cycle.TimerCompareTimer();
    rig.cycle.ReceiveCheckList(ListText({"b"}));
    rig.browser.Answer(0, Markup({"a", "b"}));
    EXPECT_TRUE(rig.socket.writes.empty());
    EXPECT_TRUE(rig.cycle.FServerListPending);
}

TEST(CheckCycle, AnOlderAnswerNeverReplacesANewerPageList) {
    Rig rig;
    rig.browser.answerAtOnce = false;
    rig.cycle.AnswerListRequest();  // read 0
    rig.cycle.SelectBoard([](std::optional<std::size_t>) {}); // read 1
    rig.browser.Answer(1, Markup({"newer", "same"}));
    rig.browser.Answer(0, Markup({"older", "same"}));
    EXPECT_EQ(rig.cycle.FPageList, (PostList{"newer", "same"}));
    EXPECT_EQ(rig.SentPackets(), (std::vector<Sent>{{'i', ListText({"older", "same"})}}))
        << "the request is still answered with the page it read";
}

TEST(CheckCycle, BoardSelectionStoresThePageListOnlyAndCountsItsPosts) {
    Rig rig;
    std::vector<std::optional<std::size_t>> counts;
    auto select = [&] { rig.cycle.SelectBoard([&](std::optional<std::size_t> posts) { counts.push_back(posts); }); };
    rig.browser.markup = Markup({"t", "u"});
    select();
    EXPECT_EQ(rig.cycle.FPageList, (PostList{"t", "u"}));
    EXPECT_EQ(rig.cycle.FPagePosts[1].link, "http://board.example/view.php?no=2");
    rig.browser.markup = "<p>no links here</p>";
    select();
    rig.browser.markup.reset();
    select();
    EXPECT_EQ(counts, (std::vector<std::optional<std::size_t>>{2, 0, std::nullopt}));
    EXPECT_TRUE(rig.cycle.FPageList.empty());
    EXPECT_TRUE(rig.socket.writes.empty());
}

// A page on which no post is found (not a board list, the site's error page)
// is neither reported nor answered: its empty list would make every post of
// the next check new. The first check after a selection says so to the user.
TEST(CheckCycle, PageWithoutPostsIsNeverReportedAndTheFirstCheckSaysSo) {
    Rig rig;
    rig.browser.markup = "<p><a href=\"/\">home</a></p>";
    rig.cycle.SelectBoard([](std::optional<std::size_t>) {});
    rig.RunCheck({"a"}, *rig.browser.markup);
    rig.cycle.AnswerListRequest();
    EXPECT_TRUE(rig.socket.writes.empty());
    EXPECT_TRUE(rig.cycle.FServerListPending);
    EXPECT_EQ(rig.logs.messages, std::vector<std::string>{board::NoPostsMessage()});

    rig.RunCheck({"a"}, *rig.browser.markup);
    EXPECT_EQ(rig.logs.messages.size(), 1u) << "said at the first check only";
    rig.browser.markup = Markup({"a", "b"});
    rig.cycle.TimerCompareTimer();
    EXPECT_EQ(rig.SentPackets(), (std::vector<Sent>{{'j', ListText({"a", "b"})}, {'k', "b"}}));
}

TEST(CheckCycle, FailedLoadStopsTheCompareTimerAndDropsEveryReadInFlight) {
    Rig rig;
    rig.browser.answerAtOnce = false;
    std::vector<std::optional<std::size_t>> selections;
    rig.cycle.ReceiveCheckList(ListText({"a"}));
    rig.cycle.DocumentComplete(rig.state.FBoardURL);
    rig.cycle.TimerCompareTimer();                                            // read 0: compare
    rig.cycle.AnswerListRequest();                                            // read 1: ListReply
    rig.cycle.SelectBoard([&](std::optional<std::size_t> posts) { selections.push_back(posts); }); // read 2
    rig.cycle.DocumentComplete(rig.state.FBoardURL);                          // an earlier document
    ASSERT_TRUE(rig.timer.active);

    rig.cycle.LoadFailed();

    EXPECT_FALSE(rig.timer.active);
    for (std::size_t i = 0; i < 3; ++i) rig.browser.Answer(i, Markup({"error page"}));
    EXPECT_TRUE(rig.socket.writes.empty());
    EXPECT_TRUE(rig.cycle.FPageList.empty());
    EXPECT_TRUE(selections.empty());
    EXPECT_TRUE(rig.cycle.FServerListPending);

    // Reads asked for afterwards are answered as usual.
    rig.cycle.DocumentComplete(rig.state.FBoardURL);
    rig.cycle.TimerCompareTimer();
    rig.browser.Answer(3, Markup({"a", "b"}));
    EXPECT_EQ(rig.SentPackets(), (std::vector<Sent>{{'j', ListText({"a", "b"})}, {'k', "b"}}));
}

TEST(CheckCycle, AnswerAfterTheCycleIsGoneIsIgnored) {
    test::FakeSocket socket;
    test::RecordingLogs logs;
    test::RecordingMessageBox box;
    net::Sender sender{socket, logs, box};
    test::FakeBrowser browser;
    test::FakeTimer timer;
    client::ClientState state;
    browser.answerAtOnce = false;
    auto cycle = std::make_unique<board::CheckCycle>(browser, timer, sender, logs, state);
    cycle->ReceiveCheckList("");
    cycle->TimerCompareTimer();
    cycle->AnswerListRequest();
    cycle.reset();
    browser.Answer(0, Markup({"late"}));
    browser.Answer(1, Markup({"late"}));
    EXPECT_TRUE(socket.writes.empty());
    EXPECT_TRUE(logs.debug.empty());
}
