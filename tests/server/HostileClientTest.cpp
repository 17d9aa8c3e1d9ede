// The real server against clients that lie, flood or hold on: one case per
// way a client can try to cost the others. Different loopback source
// addresses (127.0.0.2, 127.0.0.3, ...) act as different machines.
#include "ManualClock.h"
#include "RunLoopUntil.h"
#include "RunningServer.h"
#include "ServerFixture.h"
#include "TestClient.h"
#include "fakes/LoopbackSocket.h"
#include "server/accounts/PasswordHasher.h"
#include "server/store/sqlite/BoardListStore.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace quorlan::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kBoard = "http://127.0.0.1:8080/bbs/zboard.php?id=share";
constexpr std::int32_t kSlowInterval = 5;

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

class HostileClientTest : public ServerFixture {
protected:
    std::unique_ptr<TestClient> From(const std::string& source, int receiveBuffer = 0) {
        return Connect(receiveBuffer, source);
    }
    // A round trip: everything the client sent before has been handled.
    static void Sync(TestClient& client) {
        ASSERT_TRUE(client.Send(net::EncodeVersion()));
        ASSERT_EQ(client.Result(net::VersionResult), 1u);
    }
    std::unique_ptr<TestClient> Relay(const std::string& source) {
        auto relay = From(source);
        EXPECT_EQ(relay->LogIn("01099990000", "relay"), 1u);
        Sync(*relay);
        return relay;
    }
    httplib::Result Post(const std::string& path, const std::string& body, const std::string& token) {
        httplib::Client http("127.0.0.1", server_->AdminPort());
        httplib::Headers headers;
        if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
        return http.Post(path.c_str(), headers, body, "text/plain; charset=utf-8");
    }
    std::string Metrics() {
        httplib::Client http("127.0.0.1", server_->AdminPort());
        auto res = http.Get("/metrics");
        return res ? res->body : std::string();
    }
};


// Invented lines after a report with nothing new, lines the report did not
// make new, lines from a client that is not the reporter, a line posted twice,
// lines past the window, and a page with 20 new lines: none reaches the
// others. Only what the report made new does, once.
TEST_F(HostileClientTest, OnlyLinesTheCheckersReportMadeNewAreForwarded) {
    StoreBoardList(kBoard, "old\r\n");
    Start();
    auto checker = From("127.0.0.2");
    ASSERT_TRUE(checker->Watch(kBoard, 1));
    ASSERT_TRUE(checker->NextOf(net::CheckList));
    auto watcher = From("127.0.0.3");
    ASSERT_TRUE(watcher->Watch(kBoard, 1));

    ASSERT_TRUE(checker->Send(net::EncodeListReport("old\r\n"))); // nothing new
    Sync(*checker);
    clock_.Advance(2'000);
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(checker->Send(net::EncodeNewPost("invented " + std::string(1, 'a' + i % 26))));
    Sync(*checker);
    EXPECT_FALSE(watcher->NextOf(net::ServerNewPost, 200ms));
    EXPECT_EQ(server_->Metrics().postsNotNew.load(), 40u);

    // The next turn, a second later, is the watcher's; the post window runs
    // on the server's injected clock.
    clock_.Advance(6'000);
    const auto check = watcher->NextOf(net::CheckList, 10s);
    ASSERT_TRUE(check);
    EXPECT_EQ(check->text, "old\r\n");
    ASSERT_TRUE(watcher->Send(net::EncodeListReport("real one\r\nold\r\n")));
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("real one"))); // not the reporter
    ASSERT_TRUE(watcher->Send(net::EncodeNewPost("old")));      // in the previous list
    ASSERT_TRUE(watcher->Send(net::EncodeNewPost("real one")));
    ASSERT_TRUE(watcher->Send(net::EncodeNewPost("real one"))); // new once, posted twice
    for (auto* client : {checker.get(), watcher.get()}) {
        const auto post = client->NextOf(net::ServerNewPost);
        ASSERT_TRUE(post);
        EXPECT_EQ(post->text, "real one");
        EXPECT_FALSE(client->NextOf(net::ServerNewPost, 200ms));
    }
    EXPECT_EQ(server_->Metrics().postsRefused.load(), 1u);
    EXPECT_EQ(server_->Metrics().postsNotNew.load(), 42u);

    // Too late: the window after the report has passed.
    clock_.Advance(6'000);
    const auto third = checker->NextOf(net::CheckList, 10s);
    ASSERT_TRUE(third);
    ASSERT_TRUE(checker->Send(net::EncodeListReport("late line\r\n" + third->text)));
    Sync(*checker); // the report is in before the clock moves on
    clock_.Advance(10'001);
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("late line")));
    Sync(*checker);
    EXPECT_EQ(server_->Metrics().postsLate.load(), 1u);

    // Twenty new lines: the clients send none, so none is believed.
    const auto fourth = watcher->NextOf(net::CheckList, 10s);
    ASSERT_TRUE(fourth);
    std::vector<std::string> page;
    for (int i = 0; i < 20; ++i) page.push_back("flood " + std::string(1, 'a' + i));
    ASSERT_TRUE(watcher->Send(net::EncodeListReport(Lines(page))));
    ASSERT_TRUE(watcher->Send(net::EncodeNewPost(page[0])));
    EXPECT_FALSE(checker->NextOf(net::ServerNewPost, 200ms));
    EXPECT_EQ(server_->Metrics().postsForwarded.load(), 1u);

    const std::string text = Metrics();
    EXPECT_NE(text.find("quorlan_posts_dropped_total{reason=\"not_new\"} 43\n"), std::string::npos) << text;
    EXPECT_NE(text.find("quorlan_posts_dropped_total{reason=\"late\"} 1\n"), std::string::npos);
    EXPECT_NE(text.find("quorlan_posts_dropped_total{reason=\"not_checker\"} 1\n"), std::string::npos);
}

// A text message only for a line the server forwarded to the asker's board
// in the last 30 minutes.
TEST_F(HostileClientTest, AlertsOnlyForLinesTheBoardWasSentLately) {
    CreateAccount("01011110000", "user");
    CreateAccount("01099990000", "relay", true, true);
    StoreBoardList(kBoard, "old\r\n");
    Start();
    auto relay = Relay("127.0.0.9");
    auto user = From("127.0.0.2");
    ASSERT_EQ(user->LogIn("01011110000", "user"), 1u);
    ASSERT_TRUE(user->Watch(kBoard, kSlowInterval));
    ASSERT_TRUE(user->NextOf(net::CheckList));
    ASSERT_TRUE(user->Send(net::EncodeListReport("bike\r\nold\r\n")));
    ASSERT_TRUE(user->Send(net::EncodeNewPost("bike")));
    ASSERT_TRUE(user->NextOf(net::ServerNewPost));

    const auto ask = [&](const std::string& line) {
        EXPECT_TRUE(user->Send(net::EncodeRequestPhone(line)));
        return user->Result(net::RequestPhoneResult);
    };
    EXPECT_EQ(ask("free text to anyone"), 0u);
    EXPECT_EQ(ask("old"), 0u); // on the page, never forwarded
    EXPECT_FALSE(relay->NextOf(net::RequestSMS, 200ms));
    EXPECT_EQ(ask("bike"), 1u);
    EXPECT_TRUE(relay->NextOf(net::RequestSMS));

    ASSERT_TRUE(user->Send(net::EncodeNewPost("bike"))); // no second forward to make it fresh
    clock_.Advance(30 * 60'000 + 1);
    EXPECT_EQ(ask("bike"), 0u); // refused as too old (and as already sent)
    EXPECT_EQ(server_->Metrics().alertsUnknownLine.load(), 3u);
}

// Connections that send one packet and then nothing are legitimate, but one
// address cannot take every slot.
TEST_F(HostileClientTest, OneAddressCannotHoldEveryConnection) {
    config_.maxConnections = 6;
    config_.trust.maxPerAddress = 3;
    Start();
    std::vector<std::unique_ptr<TestClient>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(From("127.0.0.2"));
        Sync(*idle.back());
    }
    auto extra = From("127.0.0.2");
    EXPECT_TRUE(extra->ClosedByServer());
    auto other = From("127.0.0.3");
    Sync(*other);
    for (auto& client : idle) Sync(*client); // still served
    EXPECT_EQ(server_->Metrics().connectionsRejectedPerAddress.load(), 1u);

    idle.pop_back(); // a closed one frees its place
    for (int tries = 0; tries < 50; ++tries) {
        auto again = From("127.0.0.2");
        if (!again->ClosedByServer(50ms)) {
            Sync(*again);
            return;
        }
    }
    ADD_FAILURE() << "the freed place was not given again";
}

// A flood of logins from one address takes at most its share of the hasher:
// the rest is refused at once, so another address is answered after a couple
// of hashes, not after the whole flood.
TEST_F(HostileClientTest, ALoginFloodFromOneAddressIsRefusedBeyondItsShare) {
    CreateAccount("01012345678", "secret");
    Start();
    // 16 connections, two logins each: 32 attempts, 20 a minute allowed
    // (and two at a time).
    std::vector<std::unique_ptr<TestClient>> flood;
    for (int i = 0; i < 16; ++i) {
        flood.push_back(From("127.0.0.2"));
        for (int j = 0; j < 2; ++j)
            ASSERT_TRUE(flood.back()->Send(net::EncodeLogin("0105555" + std::to_string(1000 + 2 * i + j), "guess")));
    }
    EXPECT_EQ(From("127.0.0.3")->LogIn("01012345678", "secret"), 1u);
    for (auto& client : flood)
        for (int j = 0; j < 2; ++j) EXPECT_EQ(client->Result(net::LoginResult), 0u);
    EXPECT_GE(server_->Metrics().passwordWorkRefused.load(), 12u);
    EXPECT_NE(Metrics().find("quorlan_password_work_skipped_total{reason=\"limit\"} "), std::string::npos);

    // Across addresses, one account takes at most ten a minute.
    const auto before = server_->Metrics().passwordWorkRefused.load();
    for (int i = 0; i < 12; ++i) EXPECT_EQ(From("127.0.1." + std::to_string(i + 1))->LogIn("01012345678", "wrong"), 0u);
    EXPECT_EQ(server_->Metrics().passwordWorkRefused.load() - before, 3u); // the owner's login was the first
}

// Work queued for a connection that has gone is dropped before it is done.
TEST(PasswordHasherOwner, WorkForAGoneOwnerIsDroppedUndone) {
    asio::io_context loop;
    std::atomic<std::uint64_t> dropped{0};
    server::PasswordHasher hasher(loop, crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN,
                                  server::PasswordHasher::kMinQueue, &dropped);
    auto owner = std::make_shared<const bool>(true);
    std::weak_ptr<const void> gone = std::make_shared<const bool>(true); // expires at once
    std::optional<server::PasswordHasher::Verdict> kept, lost;
    std::optional<std::optional<std::string>> hashed;
    const auto hash = server::PasswordHasher::HashNow("pw", crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN);
    ASSERT_TRUE(hash);
    hasher.Verify(*hash, "pw", owner, [&](auto v) { kept = v; });
    hasher.Verify(*hash, "pw", gone, [&](auto v) { lost = v; });
    hasher.Hash("pw", gone, [&](auto h) { hashed = h; });
    ASSERT_TRUE(RunLoopUntil(loop, [&] { return kept && lost && hashed; }));
    EXPECT_EQ(kept, server::PasswordHasher::Verdict::Matches);
    EXPECT_EQ(lost, server::PasswordHasher::Verdict::Busy);
    ASSERT_TRUE(hashed);
    EXPECT_FALSE(*hashed);
    EXPECT_EQ(dropped.load(), 2u);
}

// Anyone who knows a phone number can fail its logins: that stops their own
// address, not the owner elsewhere; the account-wide lock of many addresses
// failing together ends after 15 minutes.
TEST_F(HostileClientTest, FailedGuessesDoNotLockTheOwnerOut) {
    CreateAccount("01012345678", "secret");
    Start();
    auto attacker = From("127.0.0.2");
    for (int i = 0; i < 30; ++i) EXPECT_EQ(attacker->LogIn("01012345678", "guess"), 0u);
    EXPECT_EQ(attacker->LogIn("01012345678", "secret"), 0u); // the attacker's address is stopped
    EXPECT_EQ(From("127.0.0.3")->LogIn("01012345678", "secret"), 1u);

    // Many addresses over a long time: locked for all, never for good.
    WithAccounts([](server::IAccountStore& store) { store.RecordLoginFailure("01012345678", 5'000, 0); });
    EXPECT_EQ(From("127.0.0.4")->LogIn("01012345678", "guess"), 0u);
    EXPECT_EQ(From("127.0.0.3")->LogIn("01012345678", "secret"), 0u);
    clock_.Advance(15 * 60'000 + 1);
    EXPECT_EQ(From("127.0.0.3")->LogIn("01012345678", "secret"), 1u);
}

// A client that writes requests and never reads: the server stops reading
// from it once its answers back up, instead of queueing a megabyte of them,
// and loses none. The client is not dropped; once it reads, everything comes.
TEST_F(HostileClientTest, AClientThatNeverReadsIsThrottledNotQueued) {
    config_.socketSendBuffer = 4096;
    Start();
    const int fd = ConnectLoopback(server_->Port(), 4096, false, "127.0.0.2");
    ASSERT_GE(fd, 0);
    constexpr std::size_t kRequests = 200'000; // 1.4 MB of requests, 1.4 MB of answers
    const auto one = net::EncodeVersion().bytes;
    std::vector<std::uint8_t> all;
    for (std::size_t i = 0; i < kRequests; ++i) all.insert(all.end(), one.begin(), one.end());
    std::thread writer([&] { SendAll(fd, all); });

    // Wait until the server stops reading: its byte count stands still.
    std::uint64_t read = 0;
    for (int still = 0, rounds = 0; still < 5 && rounds < 200; ++rounds) {
        std::this_thread::sleep_for(50ms);
        const std::uint64_t now = server_->Metrics().bytesIn.load();
        still = now == read ? still + 1 : 0;
        read = now;
    }
    EXPECT_LT(read, 512u * 1024) << "the server kept reading";
    EXPECT_EQ(server_->Metrics().slowConsumersDropped.load(), 0u);

    std::size_t received = 0;
    std::vector<std::uint8_t> chunk(65536);
    while (received < kRequests * 7) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10'000) <= 0) break;
        const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (n <= 0) break;
        received += static_cast<std::size_t>(n);
    }
    writer.join();
    ::close(fd);
    EXPECT_EQ(received, kRequests * 7); // every VersionResult, 7 bytes each
    EXPECT_EQ(server_->Metrics().slowConsumersDropped.load(), 0u);
}

// One connection may introduce a few new boards an hour, and the stored lists
// are bounded, the least recently checked forgotten first.
TEST_F(HostileClientTest, NewBoardsPerConnectionAndStoredListsAreBounded) {
    config_.trust.boardsPerHour = 3;
    config_.trust.maxBoards = 2;
    Start();
    auto client = From("127.0.0.2");
    const auto board = [](int i) { return std::string("http://127.0.0.1:8080/bbs/zboard.php?id=b") + char('a' + i); };
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(client->Watch(board(i), kSlowInterval)) << i;
        ASSERT_TRUE(client->NextOf(net::ListRequest));
        ASSERT_TRUE(client->Send(net::EncodeListReply("list " + std::string(1, 'a' + i) + "\r\n")));
        Sync(*client);
        clock_.Advance(1'000);
    }
    ASSERT_TRUE(client->Send(net::EncodeSetBoard(kSlowInterval, board(3))));
    EXPECT_EQ(client->Result(net::SetBoardResult), 0u);
    ASSERT_TRUE(client->Send(net::EncodeSetBoard(kSlowInterval, board(0)))); // set within the hour
    EXPECT_EQ(client->Result(net::SetBoardResult), 1u);
    EXPECT_TRUE(From("127.0.0.3")->Watch(board(3), kSlowInterval, false)); // another connection's own share
    clock_.Advance(60 * 60'000);
    ASSERT_TRUE(client->Send(net::EncodeSetBoard(kSlowInterval, board(4))));
    EXPECT_EQ(client->Result(net::SetBoardResult), 1u);
    EXPECT_EQ(server_->Metrics().boardsRefused.load(), 1u);
    Sync(*client);
    Stop();

    auto opened = server::Database::Open(config_.databasePath);
    ASSERT_TRUE(opened.db);
    server::BoardListStore lists(*opened.db);
    EXPECT_FALSE(lists.Load(board(0)));
    EXPECT_EQ(lists.Load(board(1)), "list b\r\n");
    EXPECT_EQ(lists.Load(board(2)), "list c\r\n");
}

// Identification numbers: capped per address per hour and per phone per day,
// across reconnects and restarts; a new number does not give back used tries.
TEST_F(HostileClientTest, IdentificationNumbersCannotBeSpentByOneSource) {
    CreateAccount("01099990000", "relay", true, true);
    Start();
    auto relay = Relay("127.0.0.9");
    const auto request = [&](const std::string& source, const std::string& phone) {
        auto client = From(source);
        EXPECT_TRUE(client->Send(net::EncodeRequestIdentNumber(phone, "pw")));
        Sync(*client);
        return relay->NextOf(net::RequestSMS, 200ms);
    };
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(request("127.0.0.2", "0105555100" + std::to_string(i))) << i;
    EXPECT_FALSE(request("127.0.0.2", "01055551003")); // the address's hour is used up
    relay.reset();
    Stop();
    Start();
    relay = Relay("127.0.0.9");
    EXPECT_FALSE(request("127.0.0.2", "01055551003")); // a restart forgets nothing
    EXPECT_TRUE(request("127.0.0.3", "01055551003"));

    // The same phone from ever new addresses: three a day.
    for (int i = 0; i < 2; ++i) {
        clock_.Advance(61'000);
        EXPECT_TRUE(request("127.0.0." + std::to_string(10 + i), "01055552000")) << i;
    }
    clock_.Advance(61'000);
    const auto third = request("127.0.0.12", "01055552000");
    ASSERT_TRUE(third);
    clock_.Advance(61'000);
    EXPECT_FALSE(request("127.0.0.13", "01055552000"));
    EXPECT_EQ(server_->Metrics().identRefused.load(), 2u); // since the restart

    // Five wrong tries, then a reissue: the tries stay used up.
    auto guesser = From("127.0.0.20");
    const auto first = request("127.0.0.21", "01055553000");
    ASSERT_TRUE(first);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(guesser->Send(net::EncodeNewAccount("01055553000", "pw", "99999" + std::to_string(i))));
        EXPECT_EQ(guesser->Result(net::NewAccountResult), 0u);
    }
    clock_.Advance(61'000);
    const auto again = request("127.0.0.22", "01055553000");
    ASSERT_TRUE(again);
    const std::string number = again->text.substr(again->text.size() - 6);
    ASSERT_TRUE(guesser->Send(net::EncodeNewAccount("01055553000", "pw", number)));
    EXPECT_EQ(guesser->Result(net::NewAccountResult), 0u);
}

// The admin endpoint: notices need the operator's token, which is created
// private on first start; an empty board= is no broadcast; health and
// metrics stay open.
TEST_F(HostileClientTest, NoticesNeedTheAdminToken) {
    Start();
    struct stat info {};
    ASSERT_EQ(::stat(config_.adminTokenFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string token = AdminToken();
    ASSERT_GE(token.size(), 32u);
    auto client = From("127.0.0.2");
    Sync(*client);

    EXPECT_EQ(Post("/notice", "forged", "")->status, 401);
    EXPECT_EQ(Post("/notice", "forged", std::string(token.size(), 'a'))->status, 401);
    EXPECT_EQ(Post("/notice?board=", "to everyone?", token)->status, 400);
    EXPECT_FALSE(client->NextOf(net::System, 200ms));
    EXPECT_EQ(Post("/notice", "real", token)->status, 200);
    EXPECT_EQ(client->NextOf(net::System)->text, "real");
    EXPECT_NE(Metrics().find("quorlan_connections 1\n"), std::string::npos);

    // The token survives a restart.
    Stop();
    Start();
    EXPECT_EQ(AdminToken(), token);
    EXPECT_EQ(Post("/notice", "again", token)->status, 200);
}

// An existing database keeps no looser mode, nor do its -wal and -shm files;
// identification numbers and phone numbers stay out of the log.
TEST_F(HostileClientTest, TheDatabaseIsPrivateAndTheLogKeepsSecrets) {
    Start();
    Stop();
    for (const std::string suffix : {"", "-wal", "-shm"}) {
        const std::string path = config_.databasePath + suffix;
        std::ofstream(path, std::ios::app).flush();
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    }
    std::ostringstream log;
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(log);
    spdlog::default_logger()->sinks().push_back(sink);
    const auto level = spdlog::get_level();
    spdlog::set_level(spdlog::level::info);
    Start();
    for (const std::string suffix : {"", "-wal", "-shm"}) {
        struct stat info {};
        ASSERT_EQ(::stat((config_.databasePath + suffix).c_str(), &info), 0) << suffix;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << suffix;
    }
    auto client = From("127.0.0.2"); // no relay: the number cannot be sent
    ASSERT_TRUE(client->Send(net::EncodeRequestIdentNumber("01055557777", "pw")));
    Sync(*client);
    ASSERT_TRUE(client->Send(net::EncodeLogin("01055557777", "hunter2")));
    ASSERT_EQ(client->Result(net::LoginResult), 0u);
    Stop();
    spdlog::set_level(level);
    spdlog::default_logger()->sinks().pop_back();

    std::optional<server::IdentNumber> ident;
    WithAccounts([&](server::IAccountStore& store) { ident = store.FindIdent("01055557777"); });
    ASSERT_TRUE(ident);
    const std::string text = log.str();
    EXPECT_NE(text.find("no relay connected"), std::string::npos) << text;
    EXPECT_EQ(text.find(ident->number), std::string::npos) << text;
    EXPECT_EQ(text.find("01055557777"), std::string::npos) << text;
    EXPECT_EQ(text.find("hunter2"), std::string::npos) << text;
}

} // namespace
} // namespace quorlan::test
