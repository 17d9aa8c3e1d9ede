// The road of a new post with every part real: the coordination server (child
// process), the web fixture (board, SMS gateway, patch list), the client as
// the program's entry point builds it, and a second, codec-based client.
//
// Every wait is bounded and runs the event loop; the only real time spent is
// the board's period and the client's compare delay, which are the subject.
#include "PeerClient.h"
#include "ServerProcess.h"
#include "WireTap.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "app/Program.h"
#include "base/Cp949.h"
#include "board/ui/TFrmBrowser.h"
#include "fakes/TempDir.h"
#include "net/Codec.h"
#include "shell/http/THTTPDown.h"
#include "shell/http/UpdateCheck.h"
#include "shell/ui/TFrmMain.h"
#include "tools/testweb/TestWebServer.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace quorlan::test {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Accounts are phone numbers; the server keeps the digits alone.
const char* const kPeerPhone = "010-5555-0001";
const char* const kClientPhone = "010-5555-0002";
const char* const kClientPhoneDigits = "01055550002";
const char* const kPassword = "e2e-pass";
// The client's SMS gateway account, set by hand in its settings file.
const char* const kSmsId = "e2e-sms";
const char* const kSmsPassword = "sms-pw";

// The two posts of the test and their lines as the client extracts them
// (the title alone: the fixture closes its links with a lower-case tag).
// "직거래" in cp949 is C1 F7 B0 C5 B7 A1.
const char* const kTitle1 = "MTB 직거래";
const char* const kLine1 = "MTB \xC1\xF7\xB0\xC5\xB7\xA1";
const char* const kTitle2 = "DSLR 직거래";
const char* const kLine2 = "DSLR \xC1\xF7\xB0\xC5\xB7\xA1";

constexpr auto kCompareDelay = 2000ms;
// Page load, reading the body markup, framing ticks and two loopback hops,
// with room for a loaded machine and a sanitizer build.
constexpr auto kRoadSlack = 6000ms;
constexpr auto kCheckTimeout = 10s;

int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    return std::max(0, std::atoi(text));
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Runs the event loop until done() holds or the time is up, looking every
// 5 ms. Stages are stamped by the threads and signals that see them, so the
// look interval does not enter any figure.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > timeout.count()) return false;
        QTest::qWait(5);
    }
    return true;
}

Bytes B(const char* bytes, std::size_t size) {
    return Bytes(reinterpret_cast<const std::uint8_t*>(bytes), reinterpret_cast<const std::uint8_t*>(bytes) + size);
}

// A control found by its name, as the window's design names it.
template <typename T> T* Control(QWidget& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

// Times of one post's road.
struct Road {
    Clock::time_point posted;       // the fixture gained the post
    Clock::time_point checkList;    // CheckList reached the client
    Clock::time_point loaded;       // the last board document completed before the report
    Clock::time_point reported;     // the client sent ListReport
    Clock::time_point newPostSent;  // the client sent the post's NewPost
    Clock::time_point forwarded;    // the server's NewPost reached the client
    Clock::time_point peerReceived; // the server's NewPost reached the second client
    Clock::time_point alerted;      // the line appeared in ListBox1 and the shake began
};

class FullLoop {
public:
    explicit FullLoop(int periodSeconds) : periodSeconds_(periodSeconds) {}
    ~FullLoop() {
        program_.reset();
        std::error_code ignored;
        std::filesystem::current_path(previousDirectory_, ignored);
    }

    std::chrono::milliseconds Period() const { return std::chrono::seconds(periodSeconds_); }

    // Server, tap, fixture, accounts and the second client; no client yet.
    void StartOutsideWorld() {
        ASSERT_FALSE(dir_.Path().empty());
        server_ = std::make_unique<ServerProcess>(QStringLiteral(QUORLAN_SERVER_PROGRAM),
                                                  QString::fromStdString(dir_.File("server.db")));
        const std::string started = server_->Start({QStringLiteral("--admin"), QStringLiteral("off"),
                                                    QStringLiteral("--open-signup"), QStringLiteral("--min-interval"),
                                                    QString::number(periodSeconds_), QStringLiteral("--check-timeout"),
                                                    QString::number(std::chrono::seconds(kCheckTimeout).count()),
                                                    QStringLiteral("--log-level"), QStringLiteral("info")},
                                                   30s);
        ASSERT_EQ(started, "");

        tap_ = std::make_unique<WireTap>(server_->Port());
        ASSERT_EQ(tap_->Start(), "");

        testweb::TestWebOptions options;
        options.patch.serverAddress = "127.0.0.1";
        options.patch.serverPort = tap_->Port(); // the client's link runs through the tap
        web_ = std::make_unique<testweb::TestWebServer>(options);
        const testweb::StartResult web = web_->Start("127.0.0.1", 0);
        ASSERT_EQ(web.error, "");
        webOrigin_ = "http://127.0.0.1:" + std::to_string(web.port);
        boardUrl_ = webOrigin_ + "/bbs/zboard.php?id=share";

        peer_ = std::make_unique<PeerClient>(server_->Port());
        ASSERT_TRUE(peer_->Connected());
        ASSERT_EQ(PeerResult(net::EncodeVersion(), net::VersionResult), 1u);
        // Open sign-up: no identification number. Both accounts are made here;
        // the client's is used through its login dialog.
        ASSERT_EQ(PeerResult(net::EncodeNewAccount(kPeerPhone, kPassword, ""), net::NewAccountResult), 1u);
        ASSERT_EQ(PeerResult(net::EncodeNewAccount(kClientPhone, kPassword, ""), net::NewAccountResult), 1u);
        ASSERT_EQ(server_->RobotAdd(kPeerPhone), "");
        ASSERT_EQ(server_->RobotAdd(kClientPhone), "");
        ASSERT_EQ(PeerResult(net::EncodeLogin(kPeerPhone, kPassword), net::LoginResult), 1u);
        // The second client is the SMS relay of the first round.
        ASSERT_TRUE(peer_->Send(net::EncodeRobotMode(1)));
    }

    // The client in a working directory of its own, built as the entry point
    // builds it; only the patch list's address differs, since the fixture
    // listens on a free port.
    void StartClient() {
        std::filesystem::current_path(dir_.Path());
        TempDir::Write(dir_.File("Quorlan.ini"),
                       "[config]\r\nRepeat=" + std::to_string(periodSeconds_) + "\r\nBoardURL=" + boardUrl_ +
                           "\r\nSearchCondition=" + base::Cp949FromUtf8("직거래") + "\r\nSMSID=" + kSmsId +
                           "\r\nSMSPASSWORD=" + kSmsPassword + "\r\n");

        const QString listUrl = QString::fromStdString(webOrigin_ + "/patch_quorlan.txt");
        app::Program::Options options;
        options.linkSecurity = net::LinkSecurity{}; // the server here speaks in clear
        options.updateCheck = [listUrl](base::ILineLogs& logs) {
            shell::THTTPDown downloader;
            shell::UpdateCheckOptions check;
            check.listUrl = listUrl;
            const shell::UpdateOutcome outcome = shell::UpdateCheck(downloader, logs, check).Run();
            return app::StartupNetwork{outcome.server.address, outcome.server.port, outcome.updateInstalled};
        };
        program_ = std::make_unique<app::Program>(std::move(options));
        program_->FrmBrowser().SetSmsGatewayUrl(webOrigin_);
        program_->FrmMain().show();
        Observe();
    }

    app::Program& Program() { return *program_; }
    shell::ui::TFrmMain& Main() { return program_->FrmMain(); }
    PeerClient& Peer() { return *peer_; }
    testweb::TestWebServer& Web() { return *web_; }
    ServerProcess& Server() { return *server_; }
    const std::string& BoardUrl() const { return boardUrl_; }

    // Sends a request from the second client and waits, with the event loop
    // running, for the result code of its answer.
    std::optional<std::uint32_t> PeerResult(const net::Encoded& request, std::uint8_t answer) {
        const std::size_t from = peer_->Count();
        if (!peer_->Send(request)) return std::nullopt;
        std::optional<PeerClient::Received> got;
        WaitFor([&] { return (got = peer_->Find(answer, from)).has_value(); }, 20s);
        if (!got) return std::nullopt;
        return got->message.code;
    }

    // The first packet in one direction, of one type, passed at or after
    // `after` and matching `accept`.
    std::optional<TappedPacket> Tapped(bool fromClient, std::uint8_t type, Clock::time_point after,
                                       const std::function<bool(const TappedPacket&)>& accept = {}) const {
        for (const TappedPacket& p : tap_->Packets())
            if (p.fromClient == fromClient && p.Type() == type && p.at >= after && (!accept || accept(p))) return p;
        return std::nullopt;
    }

    // The packets on the client's link since `after`, for failure messages.
    std::string TapSummary(Clock::time_point after) const {
        std::string text;
        for (const TappedPacket& p : tap_->Packets()) {
            if (p.at < after) continue;
            text += (p.fromClient ? "client> " : "server> ") + std::to_string(Ms(p.at - after)) + " ms '" +
                    static_cast<char>(p.Type()) + "' " + std::to_string(p.bytes.size()) + " bytes\n";
        }
        return text;
    }

    bool ListBoxHas(const QString& text) const {
        return std::any_of(alerts_.begin(), alerts_.end(), [&](const Row& r) { return r.text.contains(text); });
    }

    bool Loaded(const std::string& url) const {
        return std::any_of(loads_.begin(), loads_.end(),
                           [&](const Load& l) { return l.url.toString().toStdString() == url; });
    }

    bool DebugLogHas(const std::string& prefix) {
        const auto& lines = program_->Session().Logs().debugLog.Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }

    // One post's road: waits for the second client's checking turn (so the
    // client's turn is next), lets `offset` pass, adds the post to the board
    // and waits for the client's alert and the second client's NewPost.
    std::optional<Road> RunRoad(const std::string& titleUtf8, const std::string& line,
                                std::chrono::milliseconds offset) {
        const std::size_t from = peer_->Count();
        std::optional<PeerClient::Received> peerTurn;
        if (!WaitFor([&] { return (peerTurn = peer_->Find(net::CheckList, from)).has_value(); },
                     2 * Period() + kCompareDelay + kCheckTimeout + kRoadSlack)) {
            ADD_FAILURE() << "the second client was given no checking turn";
            return std::nullopt;
        }
        if (offset.count() > 0) WaitFor([&] { return Clock::now() >= peerTurn->at + offset; }, offset + 1s);

        Road road;
        const QString lineText = QString::fromUtf8(base::Utf8FromCp949(line));
        road.posted = Clock::now();
        testweb::NewPost post;
        post.title = base::Cp949FromUtf8(titleUtf8);
        post.writer = "e2e";
        web_->board().AddPost(std::move(post));

        std::optional<PeerClient::Received> peerPost;
        const auto peerHasPost = [&] {
            for (const auto& m : peer_->Messages())
                if (m.message.type == net::ServerNewPost && m.message.text == line && m.at >= road.posted)
                    return (peerPost = m).has_value();
            return false;
        };
        const Row* alert = nullptr;
        const auto alerted = [&] {
            for (const Row& r : alerts_)
                if (r.at >= road.posted && r.text.contains(lineText) && !r.text.startsWith(QStringLiteral("Request")))
                    return r.shaking.has_value() && (alert = &r) != nullptr;
            return false;
        };
        const auto bound = Period() + Period() / 20 + kCompareDelay + kRoadSlack;
        const bool arrived = WaitFor([&] { return alerted() && peerHasPost(); }, bound);
        if (!arrived) {
            ADD_FAILURE() << "the post did not reach both clients within " << bound.count() << " ms (alert "
                          << (alert != nullptr) << ", second client " << peerPost.has_value() << ")";
            return std::nullopt;
        }
        EXPECT_TRUE(*alert->shaking) << "TimerShow was not running after the alert";
        road.alerted = alert->at;
        road.peerReceived = peerPost->at;

        if (!StampLinkStages(road, line)) return std::nullopt;
        return road;
    }

private:
    // The stages seen on the client's link: the first CheckList after the
    // post, the ListReport and the post's NewPost that answer it, the
    // server's NewPost back; and the last completed document in between.
    bool StampLinkStages(Road& road, const std::string& line) const {
        const auto clientText = [&](const TappedPacket& p) {
            const auto sent = net::DecodeClientRequest(p.bytes.data(), p.bytes.size());
            return sent.request && sent.request->text == line;
        };
        const auto serverText = [&](const TappedPacket& p) {
            return net::DecodeServerMessage(p.bytes.data(), p.bytes.size()).text == line;
        };
        const auto checkList = Tapped(false, net::CheckList, road.posted);
        const auto report = checkList ? Tapped(true, net::ListReport, checkList->at) : std::nullopt;
        const auto sent = checkList ? Tapped(true, net::NewPost, checkList->at, clientText) : std::nullopt;
        const auto forwarded = Tapped(false, net::ServerNewPost, road.posted, serverText);
        if (!checkList || !report || !sent || !forwarded) {
            ADD_FAILURE() << "a stage of the road was not seen on the client's link: CheckList "
                          << checkList.has_value() << ", ListReport " << report.has_value() << ", NewPost sent "
                          << sent.has_value() << ", NewPost forwarded " << forwarded.has_value() << "\n"
                          << TapSummary(road.posted);
            return false;
        }
        road.checkList = checkList->at;
        road.reported = report->at;
        road.newPostSent = sent->at;
        road.forwarded = forwarded->at;
        road.loaded = road.checkList;
        for (const Load& l : loads_)
            if (l.at > road.checkList && l.at <= road.reported) road.loaded = l.at;
        return true;
    }

    struct Row {
        Clock::time_point at;
        QString text;
        // Stamped once the handler that wrote the line is done.
        std::optional<bool> shaking;
    };
    struct Load {
        Clock::time_point at;
        QUrl url;
    };

    // Stamps what the user would see: every completed document of the board
    // window's browser and every line of the message list, with whether the
    // window's shake is running once the handler that wrote the line is done.
    void Observe() {
        auto* view = Control<QWebEngineView>(Program().FrmBrowser(), "WebBrowser1");
        QObject::connect(view, &QWebEngineView::loadFinished, view, [this, view](bool) {
            loads_.push_back({Clock::now(), view->url()});
        });
        auto* list = Control<QListWidget>(Main(), "ListBox1");
        QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, list,
                         [this, list](const QModelIndex&, int first, int last) {
                             for (int row = first; row <= last; ++row) {
                                 alerts_.push_back({Clock::now(), list->item(row)->text(), std::nullopt});
                                 const std::size_t index = alerts_.size() - 1;
                                 QTimer::singleShot(0, list, [this, index] {
                                     alerts_[index].shaking = Main().TimerShow().IsActive();
                                 });
                             }
                         });
    }

    int periodSeconds_;
    TempDir dir_;
    std::filesystem::path previousDirectory_ = std::filesystem::current_path();
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<WireTap> tap_;
    std::unique_ptr<testweb::TestWebServer> web_;
    std::unique_ptr<PeerClient> peer_;
    std::string webOrigin_;
    std::string boardUrl_;
    std::deque<Row> alerts_;
    std::vector<Load> loads_;
    std::unique_ptr<app::Program> program_;
};

// One line for people, one for bench/latency.sh.
void PrintRoad(const char* kind, int round, const Road& r) {
    const auto at = [&](Clock::time_point t) { return Ms(t - r.posted); };
    std::printf("[ e2e ] %s round %d: post to alert %.0f ms = waiting for the check %.0f + page load %.0f + compare "
                "delay %.0f + delivery %.0f (second client: %.0f ms)\n",
                kind, round, at(r.alerted), at(r.checkList), Ms(r.loaded - r.checkList), Ms(r.reported - r.loaded),
                Ms(r.alerted - r.reported), at(r.peerReceived));
    std::printf("QUORLAN_E2E_ROAD kind=%s round=%d checklist=%.1f loaded=%.1f reported=%.1f newpost=%.1f "
                "forwarded=%.1f peer=%.1f alert=%.1f\n",
                kind, round, at(r.checkList), at(r.loaded), at(r.reported), at(r.newPostSent), at(r.forwarded),
                at(r.peerReceived), at(r.alerted));
    std::fflush(stdout);
}

// A title no other round has used: the comparison ignores digits and spaces,
// so rounds differ by letters.
std::string BenchTitle(int round) {
    std::string tag;
    for (int n = round;; n = n / 26 - 1) {
        tag.insert(tag.begin(), static_cast<char>('A' + n % 26));
        if (n < 26) break;
    }
    return "Bench" + tag + " 직거래";
}

TEST(FullLoopTest, NewPostReachesBothClientsAlertsAndIsRelayedAsTextMessage) {
    const int periodSeconds = std::max(1, EnvInt("QUORLAN_E2E_PERIOD", 2));
    FullLoop loop(periodSeconds);
    loop.StartOutsideWorld();
    if (HasFatalFailure()) return;
    loop.StartClient();
    if (HasFatalFailure()) return;
    shell::ui::TFrmMain& main = loop.Main();
    auto& dialog = loop.Program().FrmLoginOKBottomDlg();
    auto& browser = loop.Program().FrmBrowser();
    const Clock::time_point start = Clock::now();

    // Start-up: the patch list sent the client through the tap, and the
    // handshake is the seven bytes of Version.
    ASSERT_TRUE(WaitFor([&] { return loop.Tapped(true, net::Version, start - 1h).has_value(); }, 20s));
    EXPECT_EQ(loop.Tapped(true, net::Version, start - 1h)->bytes, B("\x07\x00\x64\x04\x00\x00\x00", 7));

    // Log in through the dialog's controls.
    Control<QLineEdit>(dialog, "EditLoginID")->setText(QString::fromLatin1(kClientPhone));
    Control<QLineEdit>(dialog, "EditLoginPassword")->setText(QString::fromLatin1(kPassword));
    Control<QPushButton>(dialog, "BtnLogin")->click();
    ASSERT_TRUE(WaitFor([&] { return loop.Program().Session().State().FLoggedIn; }, 20s));
    EXPECT_EQ(Control<QLabel>(main, "LabelLoginState")->text(), QString::fromUtf8("핸드폰접속"));
    Control<QCheckBox>(main, "CheckBoxSMS")->click();
    ASSERT_TRUE(Control<QCheckBox>(main, "CheckBoxSMS")->isChecked());

    // Select the board: the board window opens on the stored address, and
    // "게시판선택" sends it with the period.
    Control<QPushButton>(main, "BtnSetBoard")->click();
    ASSERT_TRUE(WaitFor([&] { return loop.Loaded(loop.BoardUrl()); }, 30s));
    Control<QPushButton>(browser, "BtnSeleteBoard")->click();
    ASSERT_TRUE(WaitFor([&] { return loop.Program().Session().State().FBoardSet; }, 20s));
    const auto setBoard = loop.Tapped(true, net::SetBoard, start);
    ASSERT_TRUE(setBoard.has_value());
    const auto board = net::DecodeClientRequest(setBoard->bytes.data(), setBoard->bytes.size());
    ASSERT_TRUE(board.request.has_value()) << board.error;
    EXPECT_EQ(board.request->text, loop.BoardUrl());
    EXPECT_EQ(board.request->repeatSeconds, periodSeconds);
    EXPECT_FALSE(browser.isVisible()) << "the board window hides after the selection";

    // Start monitoring.
    const Clock::time_point started = Clock::now();
    Control<QPushButton>(main, "BtnStart")->click();
    ASSERT_TRUE(loop.Program().Session().State().FSearching);
    EXPECT_EQ(Control<QPushButton>(main, "BtnStart")->text(), QString::fromUtf8("검색중지"));
    ASSERT_TRUE(WaitFor([&] { return loop.Tapped(true, net::SearchState, started).has_value(); }, 5s));
    EXPECT_EQ(loop.Tapped(true, net::SearchState, started)->bytes, B("\x07\x00\x6D\x01\x00\x00\x00", 7));

    // The second client watches the same board.
    ASSERT_EQ(loop.PeerResult(net::EncodeSetBoard(0, loop.BoardUrl()), net::SetBoardResult), 1u);
    ASSERT_TRUE(loop.Peer().Send(net::EncodeSearchState(1)));

    // The board's first turn asks the client for the page as it stands, the
    // reference of the first comparison.
    ASSERT_TRUE(WaitFor([&] { return loop.Tapped(true, net::ListReply, started).has_value(); },
                        kCheckTimeout + 2 * loop.Period()))
        << loop.Server().Log();

    // Round 1: the second client is the SMS relay.
    const std::optional<Road> road1 = loop.RunRoad(kTitle1, kLine1, 0ms);
    ASSERT_TRUE(road1.has_value()) << loop.Server().Log();
    PrintRoad("test", 1, *road1);
    EXPECT_LT(road1->peerReceived - road1->posted, loop.Period() + loop.Period() / 20 + kCompareDelay + kRoadSlack);
    // Logged in with CheckBoxSMS ticked: RequestPhone with the matched line.
    ASSERT_TRUE(WaitFor([&] { return loop.Tapped(true, net::RequestPhone, road1->posted).has_value(); }, 5s));
    EXPECT_EQ(loop.Tapped(true, net::RequestPhone, road1->posted)->bytes, B("\x0E\x00\x6C"
                                                                            "MTB \xC1\xF7\xB0\xC5\xB7\xA1"
                                                                            "\x00",
                                                                            14));
    std::optional<PeerClient::Received> order;
    ASSERT_TRUE(WaitFor([&] { return (order = loop.Peer().Find(net::RequestSMS, 0)).has_value(); }, 10s));
    EXPECT_EQ(order->message.phone, kClientPhoneDigits);
    EXPECT_EQ(order->message.text, kLine1);
    ASSERT_TRUE(WaitFor([&] { return loop.ListBoxHas(QStringLiteral("RequestPhone Result :1")); }, 10s));
    EXPECT_TRUE(loop.Web().sms().Snapshot().empty()) << "the second client relays without the gateway";

    // Round 2: the client is the relay. The second client steps down; the
    // client declares itself a robot with the login dialog's chord.
    ASSERT_TRUE(loop.Peer().Send(net::EncodeRobotMode(0)));
    const Clock::time_point chord = Clock::now();
    QTest::keyClick(Control<QLineEdit>(dialog, "EditLoginPassword"), Qt::Key_R, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(WaitFor([&] { return loop.Tapped(true, net::RobotMode, chord).has_value(); }, 5s));
    EXPECT_EQ(loop.Tapped(true, net::RobotMode, chord)->bytes, B("\x07\x00\x6E\x01\x00\x00\x00", 7));
    const std::size_t ordersBefore = loop.Peer().Messages().size();

    const std::optional<Road> road2 = loop.RunRoad(kTitle2, kLine2, 0ms);
    ASSERT_TRUE(road2.has_value()) << loop.Server().Log();
    PrintRoad("test", 2, *road2);
    const QString relayed = QStringLiteral("RequestSMS :") + QString::fromLatin1(kClientPhoneDigits) +
                            QStringLiteral(" ") + QString::fromUtf8(base::Utf8FromCp949(kLine2));
    ASSERT_TRUE(WaitFor([&] { return loop.ListBoxHas(relayed); }, 10s));
    ASSERT_TRUE(WaitFor([&] { return loop.DebugLogHas("SMS Gateway: "); }, 10s));
    EXPECT_TRUE(loop.DebugLogHas("SMS Gateway: 127.0.0.1 200"));
    EXPECT_FALSE(loop.Peer().Find(net::RequestSMS, ordersBefore).has_value());
    const auto requests = loop.Web().sms().Snapshot();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rawQuery, "userid=e2e-sms&passwd=sms-pw&sender=01055550002&receiver=01055550002&encode=1"
                                    "&message=Quorlan%3A%20DSLR%20%C1%F7%B0%C5%B7%A1");
    EXPECT_EQ(testweb::FindParam(requests[0].params, "message"), "Quorlan: DSLR \xC1\xF7\xB0\xC5\xB7\xA1");

    // Timed rounds for bench/latency.sh: no text messages, and each post comes
    // at a random moment of the wait before the client's turn.
    const int rounds = EnvInt("QUORLAN_E2E_ROUNDS", 0);
    if (rounds == 0) return;
    Control<QCheckBox>(main, "CheckBoxSMS")->click();
    const unsigned randomStart = std::random_device{}();
    std::printf("[ e2e ] %d timed rounds, period %d s, random start %u\n", rounds, periodSeconds, randomStart);
    std::mt19937 random(randomStart);
    std::uniform_int_distribution<int> offsetMs(0, periodSeconds * 1000 - 1);
    for (int round = 1; round <= rounds; ++round) {
        const std::string title = BenchTitle(round);
        const std::optional<Road> road =
            loop.RunRoad(title, base::Cp949FromUtf8(title), std::chrono::milliseconds(offsetMs(random)));
        ASSERT_TRUE(road.has_value()) << "timed round " << round;
        PrintRoad("bench", round, *road);
    }
}

} // namespace
} // namespace quorlan::test
