#pragma once
// The road of a new post with every part real: the coordination server (child
// process), the web fixture (board, SMS gateway, patch list), the client as
// the program's entry point builds it, and a second, codec-based client. The
// full-loop test and the latency benchmark both drive it.
//
// Every wait is bounded and runs the event loop; the only real time spent is
// the board's period and the client's compare delay, which are the subject.
#include "PeerClient.h"
#include "ServerProcess.h"
#include "WireTap.h"

#include "app/Program.h"
#include "fakes/TempDir.h"
#include "net/Codec.h"
#include "tools/testweb/TestWebServer.h"

#include <QString>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorlan::test {

using Clock = std::chrono::steady_clock;

// The client's account (a phone number) as the server keeps it: the digits alone.
inline const char* const kClientPhoneDigits = "01055550002";

inline constexpr std::chrono::milliseconds kCompareDelay{2000};
// Page load, reading the body markup, framing ticks and two loopback hops,
// with room for a loaded machine and a sanitizer build.
inline constexpr std::chrono::milliseconds kRoadSlack{6000};
inline constexpr std::chrono::seconds kCheckTimeout{10};

int EnvInt(const char* name, int fallback);
double Ms(Clock::duration d);

// The program's options for a run against the local outside world: the patch
// list of the web fixture at webOrigin names the server, which speaks in clear
// whatever link the build was configured for.
app::Program::Options LocalProgramOptions(const std::string& webOrigin);

// Runs the event loop until done() holds or the time is up, looking every
// 5 ms. Stages are stamped by the threads and signals that see them, so the
// look interval does not enter any figure.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

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

// One line for people, one for bench/latency.sh.
void PrintRoad(const char* kind, int round, const Road& r);

class FullLoop {
public:
    // The board period: QUORLAN_E2E_PERIOD seconds (2 unless set), the server's
    // shortest. `settings`: more lines of the client's "Quorlan.ini" section
    // (cp949, each ending in CR LF).
    explicit FullLoop(std::string settings = {});
    ~FullLoop();

    int PeriodSeconds() const { return periodSeconds_; }
    std::chrono::milliseconds Period() const { return std::chrono::seconds(periodSeconds_); }

    // Everything up to monitoring; stops at the first fatal failure.
    void Start();

    app::Program& Program() { return *program_; }
    shell::ui::TFrmMain& Main();
    PeerClient& Peer() { return *peer_; }
    testweb::TestWebServer& Web() { return *web_; }
    ServerProcess& Server() { return *server_; }
    const std::string& BoardUrl() const { return boardUrl_; }

    // Sends a request from the second client and waits, with the event loop
    // running, for the result code of its answer.
    std::optional<std::uint32_t> PeerResult(const net::Encoded& request, std::uint8_t answer);

    // The first packet in one direction, of one type, passed at or after
    // `after` and matching `accept`.
    std::optional<TappedPacket> Tapped(bool fromClient, std::uint8_t type, Clock::time_point after,
                                       const std::function<bool(const TappedPacket&)>& accept = {}) const;
    // The first request of one type the client sent at or after `after`, as
    // the server's decoder reads it; waits for it (with the event loop running)
    // up to `wait`. A request that does not decode is a failure.
    std::optional<net::ClientRequest> Sent(std::uint8_t type, Clock::time_point after,
                                           std::chrono::milliseconds wait);

    // The packets on the client's link since `after`, for failure messages.
    std::string TapSummary(Clock::time_point after) const;

    bool ListBoxHas(const QString& text) const;
    bool Loaded(const std::string& url) const;
    bool DebugLogHas(const std::string& prefix);

    // One post's road: waits for the second client's checking turn (so the
    // client's turn is next), lets `offset` pass, adds the post to the board
    // and waits for the client's alert and the second client's NewPost.
    std::optional<Road> RunRoad(const std::string& titleUtf8, const std::string& line,
                                std::chrono::milliseconds offset);

private:
    // Server, tap, fixture, accounts and the second client; no client yet.
    void StartOutsideWorld();
    // The client in a working directory of its own, built as the entry point
    // builds it; only the patch list's address differs, since the fixture
    // listens on a free port.
    void StartClient();
    // Through the client's controls: log in, select the board, start
    // monitoring; the second client watches the same board, and the board's
    // first turn has asked the client for its page. Each step is checked on
    // the client's link, read with the codec.
    void StartMonitoring();

    // The stages seen on the client's link: the first CheckList after the
    // post, the ListReport and the post's NewPost that answer it, the
    // server's NewPost back; and the last completed document in between.
    bool StampLinkStages(Road& road, const std::string& line) const;

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
    void Observe();

    int periodSeconds_;
    std::string settings_;
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

} // namespace quorlan::test
