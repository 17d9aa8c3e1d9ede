// A post on every board style of the web fixture reaches another client as
// one alert, and nothing else does: the coordination server (child process),
// the web fixture, the real client as the program's entry point builds it
// (reading each style through its browser) and a codec-based second client
// that never reports a post itself.
#include "FullLoop.h"
#include "PeerClient.h"
#include "ServerProcess.h"
#include "WireTap.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "app/Program.h"
#include "base/Cp949.h"
#include "board/PostListCompare.h"
#include "board/ui/TFrmBrowser.h"
#include "fakes/TempDir.h"
#include "net/Codec.h"
#include "shell/ui/TFrmMain.h"
#include "tools/testweb/BoardPages.h"
#include "tools/testweb/BoardStyles.h"
#include "tools/testweb/TestWebServer.h"

#include <QAbstractItemModel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorlan::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const char* const kPeerPhone = "010-5555-0101";
const char* const kClientPhone = "010-5555-0102";
const char* const kPassword = "styles-pass";
constexpr int kPeriodSeconds = 2;
constexpr auto kPeriod = std::chrono::seconds(kPeriodSeconds);
// Page load (a frame, a script's list), the compare delay and delivery, with
// room for a loaded machine and a sanitizer build.
constexpr auto kRoadBound = 2 * kPeriod + 2000ms + 8000ms;

// A title of its own for each style: the comparison ignores digits and
// spaces, so titles differ by letters.
std::string StyleTitle(std::size_t style) {
    return std::string("Style") + static_cast<char>('A' + style) + " 직거래";
}

class StylesLoop : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = std::make_unique<ServerProcess>(QStringLiteral(QUORLAN_SERVER_PROGRAM),
                                                  QString::fromStdString(dir_.File("server.db")));
        ASSERT_EQ(server_->Start({QStringLiteral("--admin"), QStringLiteral("off"), QStringLiteral("--open-signup"),
                                  QStringLiteral("--min-interval"), QString::number(kPeriodSeconds),
                                  QStringLiteral("--check-timeout"),
                                  QString::number(std::chrono::seconds(kCheckTimeout).count())},
                                 30s),
                  "");
        tap_ = std::make_unique<WireTap>(server_->Port());
        ASSERT_EQ(tap_->Start(), "");
        testweb::TestWebOptions options;
        options.patch.serverAddress = "127.0.0.1";
        options.patch.serverPort = tap_->Port();
        web_ = std::make_unique<testweb::TestWebServer>(options);
        const testweb::StartResult web = web_->Start("127.0.0.1", 0);
        ASSERT_EQ(web.error, "");
        origin_ = "http://127.0.0.1:" + std::to_string(web.port);

        peer_ = std::make_unique<PeerClient>(server_->Port());
        ASSERT_TRUE(peer_->Connected());
        ASSERT_EQ(PeerResult(net::EncodeVersion(), net::VersionResult), 1u);
        ASSERT_EQ(PeerResult(net::EncodeNewAccount(kPeerPhone, kPassword, ""), net::NewAccountResult), 1u);
        ASSERT_EQ(PeerResult(net::EncodeNewAccount(kClientPhone, kPassword, ""), net::NewAccountResult), 1u);
        ASSERT_EQ(PeerResult(net::EncodeLogin(kPeerPhone, kPassword), net::LoginResult), 1u);

        std::filesystem::current_path(dir_.Path());
        TempDir::Write(dir_.File("Quorlan.ini"), "[config]\r\nRepeat=" + std::to_string(kPeriodSeconds) +
                                                     "\r\nSearchCondition=" + base::Cp949FromUtf8("직거래") + "\r\n");
        program_ = std::make_unique<app::Program>(LocalProgramOptions(origin_));
        program_->FrmMain().show();
        auto* list = Control<QListWidget>(program_->FrmMain(), "ListBox1");
        QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, list,
                         [this, list](const QModelIndex&, int first, int last) {
                             for (int row = first; row <= last; ++row) messages_.push_back(list->item(row)->text());
                         });

        auto& dialog = program_->FrmLoginOKBottomDlg();
        ASSERT_TRUE(WaitFor([&] { return ClientSent(net::Version, Clock::time_point{}); }, 20s));
        Control<QLineEdit>(dialog, "EditLoginID")->setText(QString::fromLatin1(kClientPhone));
        Control<QLineEdit>(dialog, "EditLoginPassword")->setText(QString::fromLatin1(kPassword));
        Control<QPushButton>(dialog, "BtnLogin")->click();
        ASSERT_TRUE(WaitFor([&] { return program_->Session().State().FLoggedIn; }, 20s));
    }

    void TearDown() override {
        program_.reset();
        std::error_code ignored;
        std::filesystem::current_path(previousDirectory_, ignored);
    }

    std::optional<std::uint32_t> PeerResult(const net::Encoded& request, std::uint8_t answer) {
        const std::size_t from = peer_->Count();
        if (!peer_->Send(request)) return std::nullopt;
        std::optional<PeerClient::Received> got;
        WaitFor([&] { return (got = peer_->Find(answer, from)).has_value(); }, 20s);
        return got ? std::optional<std::uint32_t>(got->message.code) : std::nullopt;
    }

    bool ClientSent(std::uint8_t type, Clock::time_point after) const {
        for (const TappedPacket& p : tap_->Packets())
            if (p.fromClient && p.Type() == type && p.at >= after) return true;
        return false;
    }

    // The second client's NewPost lines received at or after `from`.
    std::vector<std::string> PeerNewPosts(std::size_t from) const {
        std::vector<std::string> lines;
        const auto messages = peer_->Messages();
        for (std::size_t i = from; i < messages.size(); ++i)
            if (messages[i].message.type == net::ServerNewPost) lines.push_back(messages[i].message.text);
        return lines;
    }

    TempDir dir_;
    std::filesystem::path previousDirectory_ = std::filesystem::current_path();
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<WireTap> tap_;
    std::unique_ptr<testweb::TestWebServer> web_;
    std::unique_ptr<PeerClient> peer_;
    std::unique_ptr<app::Program> program_;
    std::string origin_;
    std::vector<QString> messages_;
};

} // namespace

TEST_F(StylesLoop, APostOnEveryStyleReachesTheOtherClientAsOneAlert) {
    auto& browser = program_->FrmBrowser();
    auto& main = program_->FrmMain();
    auto* view = Control<QWebEngineView>(browser, "WebBrowser1");
    bool started = false;
    const auto& styles = testweb::BoardStyles();
    for (std::size_t i = 0; i < styles.size(); ++i) {
        const testweb::BoardStyle& style = styles[i];
        SCOPED_TRACE(style.name);
        const std::string url = origin_ + style.listPath;

        // The client goes to the style's list and selects it: the message
        // list says how many posts the page shows.
        const Clock::time_point selected = Clock::now();
        const std::size_t messagesBefore = messages_.size();
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        browser.ShowModeless();
        browser.NavigateTo(url);
        ASSERT_TRUE(WaitFor([&] { return view->url().toString().toStdString() == url && !loaded.isEmpty(); }, 30s));
        QTest::qWait(1500); // a frame or a script's list completes after the page
        Control<QPushButton>(browser, "BtnSeleteBoard")->click();
        std::printf("[ styles ] %s: selected\n", style.name);
        std::fflush(stdout);
        const QString found = QString::fromUtf8("게시물 %1개를 찾았습니다.").arg(testweb::kListPageRows + 1);
        const auto saidFound = [&] {
            return std::any_of(messages_.begin() + static_cast<std::ptrdiff_t>(messagesBefore), messages_.end(),
                               [&](const QString& m) { return m.endsWith(found); });
        };
        ASSERT_TRUE(WaitFor(saidFound, 10s)) << (messages_.empty() ? std::string() : messages_.back().toStdString());
        if (!started) {
            Control<QPushButton>(main, "BtnStart")->click();
            started = true;
        }
        // The board's first turn asks the client for its page, the reference.
        ASSERT_TRUE(WaitFor([&] { return ClientSent(net::ListReply, selected); }, kCheckTimeout + 3 * kPeriod))
            << server_->Log();
        ASSERT_EQ(PeerResult(net::EncodeSetBoard(0, url), net::SetBoardResult), 1u);
        ASSERT_TRUE(peer_->Send(net::EncodeSearchState(1)));

        // After the second client's turn the client's comes: the post is
        // added, the client finds it, and the second client gets it once.
        const std::size_t from = peer_->Count();
        ASSERT_TRUE(WaitFor([&] { return peer_->Find(net::CheckList, from).has_value(); }, kRoadBound));
        const std::string title = base::Cp949FromUtf8(StyleTitle(i));
        testweb::NewPost post;
        post.title = title;
        post.writer = "e2e";
        web_->board().AddPost(std::move(post));
        const std::size_t postedAt = peer_->Count();
        ASSERT_TRUE(WaitFor([&] { return !PeerNewPosts(postedAt).empty(); }, kRoadBound)) << server_->Log();
        // Two more turns of the board: nothing else is new.
        QTest::qWait(static_cast<int>(std::chrono::milliseconds(2 * kPeriod + 2500ms).count()));
        const std::vector<std::string> lines = PeerNewPosts(postedAt);
        ASSERT_EQ(lines.size(), 1u) << base::Utf8FromCp949(lines.back());
        EXPECT_EQ(board::NormaliseLine(lines[0]), board::NormaliseLine(title)) << base::Utf8FromCp949(lines[0]);
        std::printf("[ styles ] %s: one NewPost \"%s\"\n", style.name, base::Utf8FromCp949(lines[0]).c_str());
        std::fflush(stdout);
        // The client's own alert: the line in its message list.
        EXPECT_TRUE(std::any_of(messages_.begin(), messages_.end(), [&](const QString& m) {
            return m.contains(QString::fromUtf8(StyleTitle(i)));
        }));
    }
}

} // namespace quorlan::test
