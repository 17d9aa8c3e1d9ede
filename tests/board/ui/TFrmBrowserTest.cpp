#include "board/ui/TFrmBrowser.h"

#include "LocalWeb.h"
#include "base/Cp949.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeSocket.h"
#include "fakes/RecordingActions.h"
#include "fakes/RecordingLogs.h"
#include "net/Codec.h"
#include "net/Dispatcher.h"
#include "quorlan/BuildConfig.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gmock/gmock.h>

#include <csignal>
#include <sys/types.h>

#include <algorithm>
#include <memory>

namespace quorlan::board {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

std::string Cp(const char* utf8) {
    return base::Cp949FromUtf8(utf8);
}

// Runs the event loop until done() holds or timeoutMs have passed, looking
// every 20 ms (the engine keeps the loop busy, so one long processEvents call
// would look far too late). QtTest's QTRY_ macros report to QtTest, not to
// GoogleTest, so they are not used.
bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > timeoutMs) return false;
        QTest::qWait(20);
    }
    return true;
}

// The board page as the site serves it: cp949 bytes, EUC-KR charset. The
// emoji, written as a reference, has no cp949 form; the absolute link is
// never a post.
const char* const kBoardPageUtf8 = R"(<html><head><meta charset="euc-kr"><title>share</title></head><body>
<table>
<tr><td><a href="view.php?no=3">자전거 팝니다</a> <span>[3]</span></td></tr>
<tr><td><a href="view.php?no=2">노트북 &amp; 가방</a></td></tr>
<tr><td><a href="http://elsewhere.example/">광고</a></td></tr>
<tr><td><a href="view.php?no=1">모니터 &#x1F600;</a></td></tr>
</table>
</body></html>
)";

const char* const kBoardPath = "/bbs/zboard.php?id=share";

// Packets with a trailing text: u16 length (little-endian), type letter,
// [i32 interval,] text, NUL.
Bytes TextPacket(char type, const std::string& text, std::optional<std::uint32_t> interval = std::nullopt) {
    const std::size_t total = 3 + (interval ? 4 : 0) + text.size() + 1;
    Bytes p{static_cast<std::uint8_t>(total & 0xFF), static_cast<std::uint8_t>(total >> 8),
            static_cast<std::uint8_t>(type)};
    if (interval)
        for (int i = 0; i < 4; ++i) p.push_back(static_cast<std::uint8_t>(*interval >> (8 * i)));
    p.insert(p.end(), text.begin(), text.end());
    p.push_back(0x00);
    return p;
}

class BoardWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { web = new test::LocalWeb(Cp(kBoardPageUtf8)); }
    static void TearDownTestSuite() {
        delete web;
        web = nullptr;
    }

    void SetUp() override {
        window = std::make_unique<TFrmBrowser>(TFrmBrowser::Services{state, sender, logs, box});
        view = window->findChild<QWebEngineView*>(QStringLiteral("WebBrowser1"));
        ASSERT_NE(view, nullptr);
        loads = std::make_unique<QSignalSpy>(view, &QWebEngineView::loadFinished);
    }

    template <class T> T* Find(const char* name) {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    std::string Address() { return base::Cp949FromUtf8(Find<QLineEdit>("Edit1")->text().toStdString()); }
    bool Logged(const std::string& line) const {
        return std::find(logs.debug.begin(), logs.debug.end(), line) != logs.debug.end();
    }
    // Loads url through the address field and waits for the document.
    void LoadThroughAddressField(const std::string& url) {
        window->NavigateTo(url);
        ASSERT_TRUE(WaitFor([&] { return loads->count() == 1; }, 10000)) << loads->count();
        ASSERT_TRUE(loads->at(0).at(0).toBool());
    }

    static test::LocalWeb* web;
    client::ClientState state;
    test::FakeSocket socket;
    test::RecordingLogs logs;
    test::RecordingMessageBox box;
    net::Sender sender{socket, logs, box};
    std::unique_ptr<TFrmBrowser> window;
    QWebEngineView* view = nullptr;
    std::unique_ptr<QSignalSpy> loads;
};

test::LocalWeb* BoardWindowTest::web = nullptr;

TEST_F(BoardWindowTest, LayoutAndStartingAddress) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quorlan Internet Explorer "));
    EXPECT_EQ(window->size(), QSize(1038, 801));
    EXPECT_EQ(Address(), config::kDefaultBoardUrl);
    EXPECT_EQ(Find<QLineEdit>("Edit1")->width(), 409);
    EXPECT_TRUE(Find<QToolButton>("SpeedButton3")->text().isEmpty());
    EXPECT_FALSE(Find<QToolButton>("SpeedButton3")->icon().isNull());
    EXPECT_EQ(Find<QToolButton>("SpeedButton1")->text(), QStringLiteral("->"));
    EXPECT_EQ(Find<QPushButton>("Button3")->text(), QString::fromUtf8("네이버"));
    EXPECT_EQ(Find<QPushButton>("Button4")->text(), QString::fromUtf8("다음"));
    EXPECT_EQ(Find<QPushButton>("BtnSeleteBoard")->text(), QString::fromUtf8("게시판선택"));
    EXPECT_EQ(window->TimerCompare().IntervalMs(), 2000);
    EXPECT_TRUE(window->TimerCompare().SingleShot());
    EXPECT_FALSE(window->TimerCompare().IsActive());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(BoardWindowTest, CheckListReloadsTheBoardAndTheCompareSendsTheNewLines) {
    state.FBoardURL = web->Url(kBoardPath);
    // Digits and spaces do not count: the first line is not new.
    window->ReceiveCheckList(Cp("자전거  팝니다12\r\n"));
    // The hidden window loads the board; the completed document restarts the timer.
    ASSERT_TRUE(WaitFor([&] { return window->TimerCompare().IsActive(); }, 10000));
    EXPECT_TRUE(Logged("WebBrowser: " + web->Url(kBoardPath)));
    EXPECT_TRUE(window->Cycle().FServerListPending);

    window->TimerCompareTimer();
    ASSERT_TRUE(WaitFor([&] { return socket.writes.size() == 3u; }, 5000)) << socket.writes.size();
    const std::string first = Cp("자전거 팝니다"), second = Cp("노트북 & 가방"), third = Cp("모니터 ?");
    EXPECT_THAT(window->Cycle().FPageList, ElementsAre(first, second, third));
    EXPECT_THAT(socket.writes, ElementsAre(TextPacket('j', first + "\r\n" + second + "\r\n" + third + "\r\n"),
                                           TextPacket('k', second), TextPacket('k', third)));
    EXPECT_FALSE(window->Cycle().FServerListPending);
    EXPECT_FALSE(window->TimerCompare().IsActive());
}

TEST_F(BoardWindowTest, ListRequestAnswersWithThePageShown) {
    LoadThroughAddressField(web->Url(kBoardPath));
    window->AnswerListRequest();
    ASSERT_TRUE(WaitFor([&] { return socket.writes.size() == 1u; }, 5000)) << socket.writes.size();
    EXPECT_EQ(socket.writes[0], TextPacket('i', Cp("자전거 팝니다\r\n노트북 & 가방\r\n모니터 ?\r\n")));
}

struct SelectionCase {
    const char* name;
    bool debugMode;
    bool visibleAfter;
};

const SelectionCase kSelectionCases[] = {
    {"HidesTheWindow", false, false},
    {"DebugModeKeepsItOpen", true, true},
};

class BoardSelection : public BoardWindowTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(BoardSelection, StoresTheAddressSendsSetBoardAndHides) {
    state.FDebugMode = GetParam().debugMode;
    state.FRepeat = 600;
    std::vector<std::string> labels;
    window->SetBoardUrlChanged([&](const std::string& url) { labels.push_back(url); });
    window->ShowModeless();
    LoadThroughAddressField(web->Url("/old")); // the redirect leaves the board's address in the field

    QTest::mouseClick(Find<QPushButton>("BtnSeleteBoard"), Qt::LeftButton);
    const std::string board = web->Url(kBoardPath);
    EXPECT_EQ(state.FBoardURL, board);
    EXPECT_THAT(labels, ElementsAre(board));
    ASSERT_EQ(socket.writes.size(), 1u); // sent in the handler
    EXPECT_EQ(socket.writes[0], TextPacket('h', board, 600));
    // The page list follows when the page's answer comes.
    EXPECT_TRUE(WaitFor([&] { return window->Cycle().FPageList.size() == 3u; }, 5000));
    EXPECT_EQ(logs.messages, std::vector<std::string>{Cp("게시물 3개를 찾았습니다.")});
    EXPECT_EQ(window->isVisible(), GetParam().visibleAfter);
    window->hide();
}

INSTANTIATE_TEST_SUITE_P(Modes, BoardSelection, ::testing::ValuesIn(kSelectionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BoardWindowTest, OverlongBoardAddressIsStoredButNotSent) {
    state.FDebugMode = true;
    LoadThroughAddressField(web->Url(kBoardPath) + "&pad=" + std::string(240, 'x'));
    window->BtnSeleteBoardClick();
    ASSERT_TRUE(WaitFor([&] { return box.shown.size() == 1u; }, 5000)) << box.shown.size();
    EXPECT_EQ(box.shown[0], "error");
    EXPECT_TRUE(socket.written.empty());
    EXPECT_GT(state.FBoardURL.size(), 255u);
}

TEST_F(BoardWindowTest, APageWithoutBodyIsStillSelectedAndSaidSoWhileTheWindowIsOpen) {
    state.FDebugMode = true; // the window stays open
    window->ShowModeless();
    LoadThroughAddressField(web->Url("/picture.svg"));

    window->BtnSeleteBoardClick();
    ASSERT_EQ(socket.writes.size(), 1u); // sent in the handler, not after the read
    EXPECT_EQ(socket.writes[0], TextPacket('h', web->Url("/picture.svg"), 600));
    ASSERT_TRUE(WaitFor([&] { return box.shown.size() == 1u; }, 5000));
    EXPECT_EQ(box.shown[0], Cp("게시판 페이지를 읽을 수 없습니다."));
    EXPECT_EQ(state.FBoardURL, web->Url("/picture.svg"));
    EXPECT_TRUE(window->isVisible());

    // Each read that finds no document leaves one debug line.
    auto unreadable = [&] {
        return std::count(logs.debug.begin(), logs.debug.end(), "WebBrowser: no document to read");
    };
    EXPECT_EQ(unreadable(), 1);
    window->AnswerListRequest();
    ASSERT_TRUE(WaitFor([&] { return unreadable() == 2; }, 5000));
    EXPECT_EQ(socket.writes.size(), 1u); // no ListReply
    EXPECT_TRUE(window->Cycle().FPageList.empty());
    window->hide();
}

// VersionResult 1 after a reconnect, auto-login on and a board set: the
// dispatcher's handler logs in and selects the board again through the real
// window, which is hidden and shows a page it cannot read.
TEST_F(BoardWindowTest, ReselectionAfterReconnectSendsSetBoardRightAfterLogin) {
    LoadThroughAddressField(web->Url("/picture.svg"));
    state.FBoardSet = true;
    test::RecordingActions actions;
    state.FAutoLogin = true;
    actions.onLogIn = [&] { sender.Send(net::EncodeLogin("01012345678", "pw")); };
    actions.onSelectBoardAgain = [&] { window->BtnSeleteBoardClick(); };
    test::FakeClock clock;
    net::Dispatcher dispatcher{logs, state, sender, actions, clock};

    const Bytes versionOk{7, 0, 'd', 1, 0, 0, 0};
    dispatcher.DispatchPacket(versionOk.data(), static_cast<int>(versionOk.size()));

    ASSERT_EQ(socket.writes.size(), 2u);
    EXPECT_EQ(socket.writes[0][2], 'e');
    EXPECT_EQ(socket.writes[1], TextPacket('h', web->Url("/picture.svg"), 600));
    // The page list follows when the read answers; hidden, the window shows no box.
    ASSERT_TRUE(WaitFor([&] { return Logged("WebBrowser: no document to read"); }, 5000));
    EXPECT_TRUE(window->Cycle().FPageList.empty());
    EXPECT_TRUE(box.shown.empty());
    EXPECT_EQ(socket.writes.size(), 2u);
}

TEST_F(BoardWindowTest, ModalShowingEndsWhenTheSelectionHidesTheWindow) {
    state.FBoardURL = web->Url(kBoardPath);
    // The window opens the stored board; once it is there the user selects it.
    QObject::connect(view, &QWebEngineView::loadFinished, window.get(), [this](bool) {
        EXPECT_TRUE(window->isModal());
        window->BtnSeleteBoardClick();
    });
    // A safety net so a fault fails the test instead of blocking it.
    QTimer::singleShot(15000, window.get(), [this] { window->hide(); });

    window->ShowModal();

    EXPECT_FALSE(window->InModalShowing());
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(socket.writes.size(), 1u);
    EXPECT_EQ(socket.writes[0], TextPacket('h', web->Url(kBoardPath), 600));
    EXPECT_EQ(window->windowModality(), Qt::NonModal);
}

TEST_F(BoardWindowTest, ModalShowingOfAnOpenWindowKeepsThePageShown) {
    window->ShowModeless();
    LoadThroughAddressField(web->Url("/picture.svg")); // browsing, board not selected yet
    state.FBoardURL = web->Url(kBoardPath);           // a board stored earlier
    const int loadsBefore = loads->count();
    QTimer::singleShot(0, window.get(), [this] {
        EXPECT_TRUE(window->isModal());
        window->hide();
    });

    window->ShowModal();

    EXPECT_EQ(loads->count(), loadsBefore);
    EXPECT_EQ(Address(), web->Url("/picture.svg"));
}

TEST_F(BoardWindowTest, RedirectLeavesTheFinalAddressInTheField) {
    LoadThroughAddressField(web->Url("/old"));
    EXPECT_EQ(Address(), web->Url(kBoardPath));
}

TEST_F(BoardWindowTest, AboutBlankNeitherLogsNorStartsTheTimer) {
    LoadThroughAddressField("about:blank");
    EXPECT_EQ(Address(), "about:blank");
    EXPECT_FALSE(window->TimerCompare().IsActive());
    EXPECT_TRUE(std::none_of(logs.debug.begin(), logs.debug.end(),
                             [](const std::string& line) { return line.rfind("WebBrowser: ", 0) == 0; }));
}

TEST_F(BoardWindowTest, FailedLoadDoesNotStartTheTimer) {
    const std::string closedPort = "http://127.0.0.1:1/";
    window->NavigateTo(closedPort);
    ASSERT_TRUE(WaitFor([&] { return loads->count() == 1; }, 10000)) << loads->count();
    EXPECT_FALSE(loads->at(0).at(0).toBool());
    EXPECT_FALSE(window->TimerCompare().IsActive());

    // The engine's error page is no board: a list request gets no answer
    // rather than an empty list that would make every post look new.
    window->AnswerListRequest();
    QTest::qWait(50);
    EXPECT_TRUE(socket.written.empty());
    EXPECT_TRUE(Logged("WebBrowser: no document to read"));
}

TEST_F(BoardWindowTest, FailedLoadStopsTheCompareAnEarlierDocumentStarted) {
    state.FBoardURL = web->Url(kBoardPath);
    window->ReceiveCheckList(Cp("자전거 팝니다\r\n"));
    ASSERT_TRUE(WaitFor([&] { return window->TimerCompare().IsActive(); }, 10000));

    window->NavigateTo("http://127.0.0.1:1/");
    ASSERT_TRUE(WaitFor([&] { return loads->count() == 2; }, 10000)) << loads->count();
    EXPECT_FALSE(loads->at(1).at(0).toBool());

    EXPECT_FALSE(window->TimerCompare().IsActive());
    EXPECT_TRUE(window->Cycle().FServerListPending);
    EXPECT_TRUE(socket.written.empty());
}

TEST_F(BoardWindowTest, RendererDeathFailsReadsInFlightAndReloadsTheBoard) {
    state.FBoardURL = web->Url(kBoardPath);
    window->ReceiveCheckList(Cp("자전거 팝니다\r\n"));
    ASSERT_TRUE(WaitFor([&] { return window->TimerCompare().IsActive(); }, 10000));
    QSignalSpy ended(view->page(), &QWebEnginePage::renderProcessTerminated);
    const qint64 renderer = view->page()->renderProcessPid();
    ASSERT_GT(renderer, 0);

    window->AnswerListRequest(); // asked of the renderer that is about to die
    ASSERT_EQ(::kill(static_cast<pid_t>(renderer), SIGKILL), 0);
    ASSERT_TRUE(WaitFor([&] { return ended.count() == 1; }, 10000));

    EXPECT_TRUE(Logged("WebBrowser: no document to read")); // the read failed
    EXPECT_TRUE(socket.written.empty());
    EXPECT_FALSE(window->TimerCompare().IsActive());

    // The board comes back in a new renderer and the pending list is compared.
    ASSERT_TRUE(WaitFor([&] { return window->TimerCompare().IsActive(); }, 10000));
    EXPECT_NE(view->page()->renderProcessPid(), renderer);
    window->TimerCompareTimer();
    ASSERT_TRUE(WaitFor([&] { return socket.writes.size() == 3u; }, 5000)) << socket.writes.size();
    EXPECT_EQ(socket.writes[0][2], 'j');
    EXPECT_FALSE(window->Cycle().FServerListPending);
}

struct KeyCase {
    const char* name;
    Qt::Key key;
    bool navigates;
};

const KeyCase kKeyCases[] = {
    {"Return", Qt::Key_Return, true},  {"KeypadEnter", Qt::Key_Enter, true}, {"Letter", Qt::Key_A, false},
    {"Escape", Qt::Key_Escape, false}, {"Tab", Qt::Key_Tab, false},
};

class AddressFieldKeys : public BoardWindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(AddressFieldKeys, OnlyEnterNavigates) {
    auto* field = Find<QLineEdit>("Edit1");
    field->setText(QString::fromStdString(web->Url(kBoardPath)));
    QTest::keyClick(field, GetParam().key);
    if (GetParam().navigates) {
        ASSERT_TRUE(WaitFor([&] { return loads->count() == 1; }, 10000)) << loads->count();
        EXPECT_EQ(view->url().toString().toStdString(), web->Url(kBoardPath));
    } else {
        // A navigation is requested synchronously, so nothing has been asked for.
        EXPECT_TRUE(view->url().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, AddressFieldKeys, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ShowCase {
    const char* name;
    bool boardStored;
};

class FormShow : public BoardWindowTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(FormShow, OpensTheStoredBoardOrTheHomePage) {
    if (GetParam().boardStored) state.FBoardURL = web->Url(kBoardPath);
    window->ShowModeless();
    const std::string expected = GetParam().boardStored ? web->Url(kBoardPath) : config::kBrowserHomeUrl;
    EXPECT_EQ(view->url().toString(QUrl::FullyEncoded).toStdString(), expected);
    window->hide();
}

INSTANTIATE_TEST_SUITE_P(Cases, FormShow, ::testing::Values(ShowCase{"NoBoard", false}, ShowCase{"Board", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BoardWindowTest, PortalButtonsPutTheirAddressInTheField) {
    Find<QPushButton>("Button3")->click();
    EXPECT_EQ(Address(), config::kPortal1Url);
    Find<QPushButton>("Button4")->click();
    EXPECT_EQ(Address(), config::kPortal2Url);
}

TEST_F(BoardWindowTest, SmsGoesToTheGatewayWithoutTouchingTheBoardPage) {
    LoadThroughAddressField(web->Url(kBoardPath));
    window->SetSmsGatewayUrl(web->Base());
    state.FSMSID = "id";
    state.FSMSPassword = "p&w=1";
    const std::string text = Cp("새 글: a&receiver=1 b=2 c+d #e 100% 자전거");

    window->SendSMSByGateway("000-0000-0000", text);

    ASSERT_TRUE(WaitFor([&] { return web->GatewayHits().size() == 1u; }, 5000)) << web->GatewayHits().size();
    const auto hit = web->GatewayHits()[0];
    auto values = [&](const std::string& key) {
        std::vector<std::string> out;
        for (auto [it, end] = hit.params.equal_range(key); it != end; ++it) out.push_back(it->second);
        return out;
    };
    EXPECT_THAT(values("message"), ElementsAre("Quorlan: " + text));
    EXPECT_THAT(values("sender"), ElementsAre("00000000000"));
    EXPECT_THAT(values("receiver"), ElementsAre("00000000000"));
    EXPECT_THAT(values("userid"), ElementsAre("id"));
    EXPECT_THAT(values("passwd"), ElementsAre("p&w=1"));
    EXPECT_THAT(values("encode"), ElementsAre("1"));
    EXPECT_EQ(hit.params.size(), 6u);
    ASSERT_TRUE(WaitFor([&] { return Logged("SMS Gateway: 127.0.0.1 200"); }, 5000));
    // The board page stays: no navigation, no new document.
    EXPECT_EQ(loads->count(), 1);
    EXPECT_EQ(Address(), web->Url(kBoardPath));
}

struct GatewayFailureCase {
    const char* name;
    bool closedPort; // else an address under which the gateway answers 404
    const char* logged;
};

const GatewayFailureCase kGatewayFailureCases[] = {
    {"HttpError", false, "SMS Gateway: 127.0.0.1 404"},
    {"NoAnswer", true, "SMS Gateway: 127.0.0.1 failed, ConnectionRefusedError"},
};

class SmsGatewayFailure : public BoardWindowTest, public ::testing::WithParamInterface<GatewayFailureCase> {};

TEST_P(SmsGatewayFailure, LogsHostAndOutcomeButNeverThePassword) {
    window->SetSmsGatewayUrl(GetParam().closedPort ? std::string("http://127.0.0.1:1") : web->Url("/elsewhere"));
    state.FSMSID = "id";
    state.FSMSPassword = "s3cretpw";

    window->SendSMSByGateway("010-1234-5678", "abc");

    ASSERT_TRUE(WaitFor([&] { return Logged(GetParam().logged); }, 5000)) << ::testing::PrintToString(logs.debug);
    for (const std::string& line : logs.debug) EXPECT_EQ(line.find("s3cretpw"), std::string::npos) << line;
}

// A board whose titles carry their comment counts inside the link, as many
// boards write them: the count changes after a post is found.
const char* const kCountingBoardUtf8 = R"(<html><head><meta charset="euc-kr"></head><body><table>
<tr><td>12</td><td><a href="view.php?id=share&amp;no=12">책상 스탠드<span>[4]</span></a></td><td>81</td></tr>
<tr><td>11</td><td><a href="view.php?id=share&amp;no=11">스탠드<span>[0]</span></a></td><td>7</td></tr>
</table></body></html>
)";

class PostOpeningTest : public BoardWindowTest {
protected:
    static void SetUpTestSuite() { counting = new test::LocalWeb(Cp(kCountingBoardUtf8)); }
    static void TearDownTestSuite() {
        delete counting;
        counting = nullptr;
    }
    void SetUp() override {
        BoardWindowTest::SetUp();
        state.FBoardURL = counting->Url(kBoardPath);
    }
    static test::LocalWeb* counting;
};

test::LocalWeb* PostOpeningTest::counting = nullptr;

TEST_F(PostOpeningTest, AFoundLineWhoseCountChangedOpensItsPostFromAnotherPage) {
    LoadThroughAddressField(counting->Url("/bbs/view.php?id=share&no=1"));
    // As the message list shows it: the time of day first; found with 2 comments.
    window->OpenPost(Cp("12:00:01 책상 스탠드[2]"));

    const std::string post = counting->Url("/bbs/view.php?id=share&no=12");
    ASSERT_TRUE(WaitFor([&] { return Address() == post && loads->count() == 3; }, 10000)) << Address();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(logs.messages.empty());
}

TEST_F(PostOpeningTest, ALineNoLongerOnTheBoardShowsTheBoardAndSaysSo) {
    LoadThroughAddressField(state.FBoardURL);
    window->OpenPost(Cp("의자[1]"));

    // Not on the page shown: the board is loaded afresh and looked at again.
    ASSERT_TRUE(WaitFor([&] { return !logs.messages.empty(); }, 10000));
    EXPECT_EQ(logs.messages, std::vector<std::string>{Cp("게시물이 게시판 첫 페이지에 없습니다.")});
    EXPECT_EQ(loads->count(), 2);
    EXPECT_EQ(Address(), state.FBoardURL);
    EXPECT_TRUE(window->isVisible());
}

// The user opened a found line's post in the window; a list request then
// gets the board's list, as from the board itself, not the post page's link.
TEST_F(PostOpeningTest, AListRequestWhileAPostIsShownIsAnsweredFromTheBoard) {
    LoadThroughAddressField(state.FBoardURL);
    window->AnswerListRequest();
    ASSERT_TRUE(WaitFor([&] { return socket.writes.size() == 1u; }, 5000)) << socket.writes.size();
    const Bytes fromBoard = socket.writes[0];
    ASSERT_EQ(fromBoard[2], 'i');

    window->OpenPost(Cp("12:00:01 책상 스탠드[4]"));
    const std::string post = counting->Url("/bbs/view.php?id=share&no=12");
    ASSERT_TRUE(WaitFor([&] { return Address() == post && loads->count() == 2; }, 10000)) << Address();

    window->AnswerListRequest();
    ASSERT_TRUE(WaitFor([&] { return socket.writes.size() == 2u; }, 10000)) << socket.writes.size();
    EXPECT_EQ(socket.writes[1], fromBoard);
    EXPECT_EQ(loads->count(), 3);
    EXPECT_EQ(Address(), state.FBoardURL);
}

INSTANTIATE_TEST_SUITE_P(Cases, SmsGatewayFailure, ::testing::ValuesIn(kGatewayFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorlan::board
