#include "FullLoop.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "base/Cp949.h"
#include "board/ui/TFrmBrowser.h"
#include "shell/http/THTTPDown.h"
#include "shell/http/UpdateCheck.h"
#include "shell/ui/TFrmMain.h"

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

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

namespace quorlan::test {

using namespace std::chrono_literals;

namespace {

// Accounts are phone numbers; the server keeps the digits alone.
const char* const kPeerPhone = "010-5555-0001";
const char* const kClientPhone = "010-5555-0002";
const char* const kPassword = "e2e-pass";
// The client's SMS gateway account, set by hand in its settings file.
const char* const kSmsId = "e2e-sms";
const char* const kSmsPassword = "sms-pw";

} // namespace

int EnvInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    return std::max(0, std::atoi(text));
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

app::Program::Options LocalProgramOptions(const std::string& webOrigin) {
    const QString listUrl = QString::fromStdString(webOrigin + "/patch_quorlan.txt");
    app::Program::Options options;
    options.linkSecurity = net::LinkSecurity{}; // the server here speaks in clear
    options.updateCheck = [listUrl](base::ILineLogs& logs) {
        shell::THTTPDown downloader;
        shell::UpdateCheckOptions check;
        check.listUrl = listUrl;
        const shell::UpdateOutcome outcome = shell::UpdateCheck(downloader, logs, check).Run();
        return app::StartupNetwork{outcome.server.address, outcome.server.port, outcome.updateInstalled};
    };
    return options;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > timeout.count()) return false;
        QTest::qWait(5);
    }
    return true;
}

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

FullLoop::FullLoop(std::string settings)
    : periodSeconds_(std::max(1, EnvInt("QUORLAN_E2E_PERIOD", 2))), settings_(std::move(settings)) {}

FullLoop::~FullLoop() {
    program_.reset();
    std::error_code ignored;
    std::filesystem::current_path(previousDirectory_, ignored);
}

shell::ui::TFrmMain& FullLoop::Main() {
    return program_->FrmMain();
}

void FullLoop::Start() {
    StartOutsideWorld();
    if (::testing::Test::HasFatalFailure()) return;
    StartClient();
    if (::testing::Test::HasFatalFailure()) return;
    StartMonitoring();
}

void FullLoop::StartOutsideWorld() {
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

void FullLoop::StartClient() {
    std::filesystem::current_path(dir_.Path());
    TempDir::Write(dir_.File("Quorlan.ini"),
                   "[config]\r\nRepeat=" + std::to_string(periodSeconds_) + "\r\nBoardURL=" + boardUrl_ +
                       "\r\nSearchCondition=" + base::Cp949FromUtf8("직거래") + "\r\nSMSID=" + kSmsId +
                       "\r\nSMSPASSWORD=" + kSmsPassword + "\r\n" + settings_);

    app::Program::Options options = LocalProgramOptions(webOrigin_);
    program_ = std::make_unique<app::Program>(std::move(options));
    program_->FrmBrowser().SetSmsGatewayUrl(webOrigin_);
    program_->FrmMain().show();
    Observe();
}

void FullLoop::StartMonitoring() {
    shell::ui::TFrmMain& main = Main();
    auto& dialog = Program().FrmLoginOKBottomDlg();
    auto& browser = Program().FrmBrowser();
    const Clock::time_point start = Clock::now();

    // Start-up: the patch list sent the client through the tap, and the
    // handshake is Version with the client's build.
    const auto version = Sent(net::Version, start - 1h, 20s);
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->value, net::kClientBuild);

    // Log in through the dialog's controls.
    Control<QLineEdit>(dialog, "EditLoginID")->setText(QString::fromLatin1(kClientPhone));
    Control<QLineEdit>(dialog, "EditLoginPassword")->setText(QString::fromLatin1(kPassword));
    Control<QPushButton>(dialog, "BtnLogin")->click();
    ASSERT_TRUE(WaitFor([&] { return Program().Session().State().FLoggedIn; }, 20s));
    EXPECT_EQ(Control<QLabel>(main, "LabelLoginState")->text(), QString::fromUtf8("핸드폰접속"));

    // Select the board: the board window opens on the stored address, and
    // "게시판선택" sends it with the period.
    Control<QPushButton>(main, "BtnSetBoard")->click();
    ASSERT_TRUE(WaitFor([&] { return Loaded(BoardUrl()); }, 30s));
    Control<QPushButton>(browser, "BtnSeleteBoard")->click();
    ASSERT_TRUE(WaitFor([&] { return Program().Session().State().FBoardSet; }, 20s));
    const auto board = Sent(net::SetBoard, start, 0ms);
    ASSERT_TRUE(board.has_value());
    EXPECT_EQ(board->text, BoardUrl());
    EXPECT_EQ(board->repeatSeconds, periodSeconds_);
    EXPECT_FALSE(browser.isVisible()) << "the board window hides after the selection";

    // Start monitoring.
    const Clock::time_point started = Clock::now();
    Control<QPushButton>(main, "BtnStart")->click();
    ASSERT_TRUE(Program().Session().State().FSearching);
    EXPECT_EQ(Control<QPushButton>(main, "BtnStart")->text(), QString::fromUtf8("검색중지"));
    const auto searching = Sent(net::SearchState, started, 5s);
    ASSERT_TRUE(searching.has_value());
    EXPECT_EQ(searching->value, 1u);

    // The second client watches the same board.
    ASSERT_EQ(PeerResult(net::EncodeSetBoard(0, BoardUrl()), net::SetBoardResult), 1u);
    ASSERT_TRUE(Peer().Send(net::EncodeSearchState(1)));

    // The board's first turn asks the client for the page as it stands, the
    // reference of the first comparison.
    ASSERT_TRUE(Sent(net::ListReply, started, kCheckTimeout + 2 * Period()).has_value()) << Server().Log();
}

std::optional<std::uint32_t> FullLoop::PeerResult(const net::Encoded& request, std::uint8_t answer) {
    const std::size_t from = peer_->Count();
    if (!peer_->Send(request)) return std::nullopt;
    std::optional<PeerClient::Received> got;
    WaitFor([&] { return (got = peer_->Find(answer, from)).has_value(); }, 20s);
    if (!got) return std::nullopt;
    return got->message.code;
}

std::optional<TappedPacket> FullLoop::Tapped(bool fromClient, std::uint8_t type, Clock::time_point after,
                                             const std::function<bool(const TappedPacket&)>& accept) const {
    for (const TappedPacket& p : tap_->Packets())
        if (p.fromClient == fromClient && p.Type() == type && p.at >= after && (!accept || accept(p))) return p;
    return std::nullopt;
}

std::optional<net::ClientRequest> FullLoop::Sent(std::uint8_t type, Clock::time_point after,
                                                 std::chrono::milliseconds wait) {
    std::optional<TappedPacket> packet;
    WaitFor([&] { return (packet = Tapped(true, type, after)).has_value(); }, wait);
    if (!packet) {
        ADD_FAILURE() << "the client sent no '" << static_cast<char>(type) << "'\n" << TapSummary(after);
        return std::nullopt;
    }
    net::DecodedRequest decoded = net::DecodeClientRequest(packet->bytes.data(), packet->bytes.size());
    if (!decoded.request) ADD_FAILURE() << "the client's '" << static_cast<char>(type) << "': " << decoded.error;
    return decoded.request;
}

std::string FullLoop::TapSummary(Clock::time_point after) const {
    std::string text;
    for (const TappedPacket& p : tap_->Packets()) {
        if (p.at < after) continue;
        text += (p.fromClient ? "client> " : "server> ") + std::to_string(Ms(p.at - after)) + " ms '" +
                static_cast<char>(p.Type()) + "' " + std::to_string(p.bytes.size()) + " bytes\n";
    }
    return text;
}

bool FullLoop::ListBoxHas(const QString& text) const {
    return std::any_of(alerts_.begin(), alerts_.end(), [&](const Row& r) { return r.text.contains(text); });
}

bool FullLoop::Loaded(const std::string& url) const {
    return std::any_of(loads_.begin(), loads_.end(),
                       [&](const Load& l) { return l.url.toString().toStdString() == url; });
}

bool FullLoop::DebugLogHas(const std::string& prefix) {
    const auto& lines = program_->Session().Logs().debugLog.Lines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

std::optional<Road> FullLoop::RunRoad(const std::string& titleUtf8, const std::string& line,
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

bool FullLoop::StampLinkStages(Road& road, const std::string& line) const {
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

void FullLoop::Observe() {
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

} // namespace quorlan::test
