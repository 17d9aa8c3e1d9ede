// The real server on a loopback port with a temporary database, driven by
// codec-based clients.
#include "ManualClock.h"
#include "RunningServer.h"
#include "ServerFixture.h"
#include "TestClient.h"
#include "base/Cp949.h"
#include "server/accounts/PasswordHasher.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <map>
#include <thread>

namespace quorlan::test {
namespace {

using namespace std::chrono_literals;
using server::ServerConfig;

constexpr const char* kBoard = "http://127.0.0.1:8080/bbs/zboard.php?id=share";
constexpr const char* kOtherBoard = "http://127.0.0.1:8080/bbs/zboard.php?id=free";
// Clients of the check tests ask for 5 s, so no new turn starts while a test
// looks at the current one; turns that must come sooner come from the check
// timeout (300 ms) or from a board becoming watched.
constexpr std::int32_t kSlowInterval = 5;
// How long a test waits to be sure that nothing more arrives: whatever the
// server sends on a change of time has been written when TimeChanged returns,
// so this covers only requests the server may not have read yet.
constexpr auto kQuiet = 200ms;

std::string PercentEncoded(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '.' || c == '-' || c == '_') {
            out.push_back(static_cast<char>(c));
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

class ServerTest : public ServerFixture {
protected:
    // Moves the server's clock on.
    void Elapse(std::int64_t ms) {
        clock_.Advance(ms);
        server_->TimeChanged();
    }
    // Waits (boundedly) until the server's figure reaches the value: the
    // requests it counts have been read.
    template <typename T> bool Reaches(const std::atomic<T>& figure, T value) {
        for (int i = 0; i < 5000 && figure.load() != value; ++i) std::this_thread::sleep_for(1ms);
        return figure.load() == value;
    }

    // Makes the server forward `lines` to kBoard, with `user` as its only
    // monitoring client and so its checker: the honest client's round of a
    // check. kBoard must have a list ("x") already.
    static void ForwardOnBoard(TestClient& user, const std::vector<std::string>& lines) {
        ASSERT_TRUE(user.Watch(kBoard, kSlowInterval));
        const auto check = user.NextOf(net::CheckList);
        ASSERT_TRUE(check);
        std::string report = check->text;
        for (const auto& line : lines) report += line + "\r\n";
        ASSERT_TRUE(user.Send(net::EncodeListReport(report)));
        for (const auto& line : lines) ASSERT_TRUE(user.Send(net::EncodeNewPost(line)));
        for (const auto& line : lines) {
            const auto post = user.NextOf(net::ServerNewPost);
            ASSERT_TRUE(post);
            ASSERT_EQ(post->text, line);
        }
    }
    // RequestPhone with the line; the RequestPhoneResult code.
    static std::optional<std::uint32_t> AskAlert(TestClient& user, const std::string& line) {
        EXPECT_TRUE(user.Send(net::EncodeRequestPhone(line)));
        return user.Result(net::RequestPhoneResult);
    }

    // POST requests carry the operator's token from the token file.
    httplib::Result Admin(const std::string& method, const std::string& path, const std::string& body = "") {
        httplib::Client http("127.0.0.1", server_->AdminPort());
        if (method == "GET") return http.Get(path.c_str());
        return http.Post(path.c_str(), {{"Authorization", "Bearer " + AdminToken()}}, body, "text/plain; charset=utf-8");
    }
};

TEST_F(ServerTest, VersionIsAcceptedOnlyForTheCurrentClientBuild) {
    Start();
    auto client = Connect();
    // An older build finds posts by other rules; its lines must not meet this build's.
    constexpr std::uint32_t kBuild = net::kClientBuild;
    for (const auto& [build, code] : {std::pair{kBuild, 1u}, {kBuild - 1, 0u}, {3u, 0u}, {kBuild + 1, 0u}}) {
        ASSERT_TRUE(client->Send(net::EncodeVersion(build)));
        EXPECT_EQ(client->Result(net::VersionResult), code) << build;
    }
}

TEST_F(ServerTest, SignUpWithAnIdentificationNumberDeliveredThroughARelay) {
    CreateAccount("01099990000", "relay-pw", true);
    Start();
    auto relay = Connect();
    ASSERT_EQ(relay->LogIn("010-9999-0000", "relay-pw"), 1u);
    ASSERT_TRUE(relay->Send(net::EncodeRobotMode(1)));

    auto user = Connect();
    ASSERT_TRUE(user->Send(net::EncodeRequestIdentNumber("010-5555-0001", "pw")));
    const auto sms = relay->NextOf(net::RequestSMS);
    ASSERT_TRUE(sms);
    EXPECT_EQ(sms->phone, "01055550001");
    ASSERT_GE(sms->text.size(), 6u);
    const std::string number = sms->text.substr(sms->text.size() - 6);
    ASSERT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << sms->text;

    const std::string wrong = number == "000000" ? "000001" : "000000";
    struct Attempt {
        const char* id;
        const char* password;
        std::string ident;
        std::uint32_t code;
    } attempts[] = {
        {"010-5555-0001", "new-pw", wrong, 0},      // wrong number
        {"010-5555-000", "new-pw", number, 0},      // not a phone number
        {"010-5555-0001", "", number, 0},           // empty password
        {"010-5555-0001", "new-pw", number, 1},     // right
        {"01055550001", "other", number, 0},        // phone already used
    };
    for (const auto& a : attempts) {
        ASSERT_TRUE(user->Send(net::EncodeNewAccount(a.id, a.password, a.ident)));
        EXPECT_EQ(user->Result(net::NewAccountResult), a.code) << a.id << " / " << a.ident;
    }
    EXPECT_EQ(Connect()->LogIn("01055550001", "new-pw"), 1u);
}

TEST_F(ServerTest, IdentificationNumbersExpireAfterTenMinutes) {
    CreateAccount("01099990000", "relay-pw", true);
    Start();
    auto relay = Connect();
    ASSERT_EQ(relay->LogIn("01099990000", "relay-pw"), 1u);
    ASSERT_TRUE(relay->Send(net::EncodeRobotMode(1)));
    auto user = Connect();
    ASSERT_TRUE(user->Send(net::EncodeRequestIdentNumber("01055550002", "pw")));
    const auto sms = relay->NextOf(net::RequestSMS);
    ASSERT_TRUE(sms);
    clock_.Advance(10 * 60'000 + 1);
    ASSERT_TRUE(user->Send(net::EncodeNewAccount("01055550002", "pw", sms->text.substr(sms->text.size() - 6))));
    EXPECT_EQ(user->Result(net::NewAccountResult), 0u);
}

TEST_F(ServerTest, FailedLoginsSlowDownTheirAddressAfterTheFifth) {
    CreateAccount("01012345678", "secret");
    Start();
    auto client = Connect();
    for (int i = 0; i < 6; ++i) EXPECT_EQ(client->LogIn("010-1234-5678", "wrong"), 0u) << i;
    EXPECT_EQ(client->LogIn("010-1234-5678", "secret"), 0u); // this address waits 30 s
    clock_.Advance(30'001);
    EXPECT_EQ(client->LogIn("010-1234-5678", "secret"), 1u);
    EXPECT_EQ(client->LogIn("010-1234-5678", "wrong"), 0u); // the seventh: 60 s now
    EXPECT_EQ(client->LogIn("010-1234-5678", "secret"), 0u);
    clock_.Advance(60'001);
    EXPECT_EQ(client->LogIn("010-1234-5678", "secret"), 1u);
    EXPECT_GE(server_->Metrics().loginsFailed.load(), 9u);
}

TEST_F(ServerTest, TheAccountLockStopsAtFifteenMinutesAndTheOperatorCanLiftIt) {
    CreateAccount("01012345678", "secret");
    WithAccounts([](server::IAccountStore& store) { store.RecordLoginFailure("01012345678", 99, 0); });
    Start();
    auto client = Connect();
    EXPECT_EQ(client->LogIn("01012345678", "wrong"), 0u);
    clock_.Advance(15 * 60'000 - 1'000);
    EXPECT_EQ(Connect(0, "127.0.0.2")->LogIn("01012345678", "secret"), 0u); // locked for every address
    clock_.Advance(1'001);
    EXPECT_EQ(Connect(0, "127.0.0.2")->LogIn("01012345678", "secret"), 1u);

    WithAccounts([](server::IAccountStore& store) { store.RecordLoginFailure("01012345678", 500, INT64_MAX / 2); });
    EXPECT_EQ(Connect(0, "127.0.0.3")->LogIn("01012345678", "secret"), 0u);
    WithAccounts([](server::IAccountStore& store) { store.ClearLoginFailures("01012345678"); }); // `unlock`
    EXPECT_EQ(Connect(0, "127.0.0.3")->LogIn("01012345678", "secret"), 1u);
}

TEST_F(ServerTest, PasswordChangeNeedsALoginAndTheCurrentPassword) {
    CreateAccount("01012345678", "old");
    Start();
    auto client = Connect();
    ASSERT_TRUE(client->Send(net::EncodeChangePassword("old", "new")));
    EXPECT_EQ(client->Result(net::ChangePasswordResult), 0u); // not logged in
    ASSERT_EQ(client->LogIn("01012345678", "old"), 1u);
    ASSERT_TRUE(client->Send(net::EncodeChangePassword("bad", "new")));
    EXPECT_EQ(client->Result(net::ChangePasswordResult), 0u);
    ASSERT_TRUE(client->Send(net::EncodeChangePassword("old", "new")));
    EXPECT_EQ(client->Result(net::ChangePasswordResult), 1u);
    EXPECT_EQ(Connect()->LogIn("01012345678", "old"), 0u);
    EXPECT_EQ(Connect()->LogIn("01012345678", "new"), 1u);
}

TEST_F(ServerTest, AccountsSurviveARestartAndOnlyHashesAreStored) {
    config_.openSignup = true;
    Start();
    auto client = Connect();
    ASSERT_TRUE(client->Send(net::EncodeNewAccount("010-2222-3333", "pass word", "")));
    ASSERT_EQ(client->Result(net::NewAccountResult), 1u);
    client.reset();
    Stop();

    WithAccounts([](server::IAccountStore& store) {
        const auto account = store.Find("01022223333");
        ASSERT_TRUE(account);
        EXPECT_EQ(account->passwordHash.rfind("$argon2id$", 0), 0u);
        EXPECT_EQ(account->passwordHash.find("pass word"), std::string::npos);
    });
    Start();
    EXPECT_EQ(Connect()->LogIn("01022223333", "pass word"), 1u);
}

TEST_F(ServerTest, SetBoardAcceptsOnlyWebAddresses) {
    Start();
    auto client = Connect();
    for (const auto& [url, code] : {std::pair{"", 0u}, {"ftp://x/y", 0u}, {"http://", 0u}, {kBoard, 1u}}) {
        ASSERT_TRUE(client->Send(net::EncodeSetBoard(600, url)));
        EXPECT_EQ(client->Result(net::SetBoardResult), code) << url;
    }
}

TEST_F(ServerTest, BaselineFirstThenChecksRotateCarryingTheLastList) {
    Start();
    auto a = Connect();
    ASSERT_TRUE(a->Watch(kBoard, 0));
    ASSERT_TRUE(a->NextOf(net::ListRequest)); // no list yet: baseline
    auto b = Connect();
    ASSERT_TRUE(b->Watch(kBoard, 0));
    ASSERT_TRUE(a->Send(net::EncodeListReply("p1\r\np2\r\n")));

    // The baseline loaded nothing, so the first check comes at once; then,
    // both at the floor (200 ms), the turns alternate one per 200 ms.
    std::string expected = "p1\r\np2\r\n";
    TestClient* order[] = {a.get(), b.get(), a.get(), b.get()};
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            EXPECT_FALSE(order[i]->NextOf(net::CheckList, kQuiet)) << "turn " << i << " before its time";
            Elapse(200);
        }
        const auto check = order[i]->NextOf(net::CheckList);
        ASSERT_TRUE(check) << "turn " << i;
        EXPECT_EQ(check->text, expected);
        expected = "p" + std::to_string(i + 3) + "\r\n" + expected;
        ASSERT_TRUE(order[i]->Send(net::EncodeListReport(expected)));
    }
    Elapse(200);
    const auto fifth = a->NextOf(net::CheckList);
    ASSERT_TRUE(fifth);
    EXPECT_EQ(fifth->text, expected); // the fourth report has been taken
    EXPECT_EQ(server_->Metrics().checksCompleted.load(), 4u);
}

TEST_F(ServerTest, AnEmptyReportKeepsTheList) {
    StoreBoardList(kBoard, "old\r\n");
    Start();
    auto a = Connect();
    ASSERT_TRUE(a->Watch(kBoard, 0));
    for (int i = 0; i < 2; ++i) {
        const auto check = a->NextOf(net::CheckList);
        ASSERT_TRUE(check);
        EXPECT_EQ(check->text, "old\r\n");
        ASSERT_TRUE(a->Send(net::EncodeListReport("")));
        Elapse(200);
    }
}

TEST_F(ServerTest, AClientIsAskedNoMoreOftenThanItsInterval) {
    StoreBoardList(kBoard, "x\r\n");
    Start();
    auto a = Connect();
    ASSERT_TRUE(a->Watch(kBoard, 1));
    ASSERT_TRUE(a->NextOf(net::CheckList)); // a watched board is checked at once
    ASSERT_TRUE(a->Send(net::EncodeListReport("x\r\n")));
    Elapse(999);
    EXPECT_FALSE(a->NextOf(net::CheckList, kQuiet));
    Elapse(1);
    EXPECT_TRUE(a->NextOf(net::CheckList));
}

TEST_F(ServerTest, IntervalsOutsideTheSaneRangeAreTakenAsTheFloorOrADay) {
    config_.minInterval = 10s;
    Start();
    auto client = Connect();
    ASSERT_TRUE(client->Watch(kBoard, 60));
    const std::string gauge = std::string("\nquorlan_board_check_interval_seconds{board=\"") + kBoard + "\"} ";
    struct Case {
        std::int32_t asked;
        const char* seconds;
    } cases[] = {{0, "10.000"}, {-5, "10.000"}, {3, "10.000"}, {45, "45.000"}, {86'400 * 3, "86400.000"}};
    for (const auto& c : cases) {
        // A new SetBoard replaces the client's interval; its answer comes once
        // the board's figures are set.
        ASSERT_TRUE(client->Send(net::EncodeSetBoard(c.asked, kBoard)));
        ASSERT_EQ(client->Result(net::SetBoardResult), 1u);
        const std::string body = Admin("GET", "/metrics")->body;
        EXPECT_NE(body.find(gauge + c.seconds + "\n"), std::string::npos) << c.asked << "\n" << body;
    }
}

TEST_F(ServerTest, SwitchingMonitoringOffAndOnDoesNotBringTheNextCheckForward) {
    StoreBoardList(kBoard, "x\r\n");
    Start();
    auto a = Connect();
    ASSERT_TRUE(a->Watch(kBoard, 1));
    ASSERT_TRUE(a->NextOf(net::CheckList)); // a board new to the server is checked at once
    ASSERT_TRUE(a->Send(net::EncodeListReport("x\r\n")));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(a->Send(net::EncodeSearchState(0)));
        ASSERT_TRUE(a->Send(net::EncodeSearchState(1)));
    }
    EXPECT_FALSE(a->NextOf(net::CheckList, kQuiet));
    Elapse(999);
    EXPECT_FALSE(a->NextOf(net::CheckList, kQuiet));
    Elapse(1);
    ASSERT_TRUE(a->NextOf(net::CheckList));
    EXPECT_EQ(server_->Metrics().checksStarted.load(), 2u);
}

TEST_F(ServerTest, ASilentCheckerLosesItsTurnAfterTheTimeout) {
    StoreBoardList(kBoard, "x\r\n");
    Start();
    auto a = Connect();
    ASSERT_TRUE(a->Watch(kBoard, kSlowInterval));
    ASSERT_TRUE(a->NextOf(net::CheckList));
    auto b = Connect();
    ASSERT_TRUE(b->Watch(kBoard, kSlowInterval));
    // A stays silent: B gets the turn after the 300 ms timeout, long before
    // the 5 s interval.
    EXPECT_FALSE(b->NextOf(net::CheckList, kQuiet));
    Elapse(300);
    ASSERT_TRUE(b->NextOf(net::CheckList));
    EXPECT_EQ(server_->Metrics().checksTimedOut.load(), 1u);

    // The check is B's now: A's late report and post go nowhere, B's reach both.
    ASSERT_TRUE(a->Send(net::EncodeListReport("late from A\r\nx\r\n")));
    ASSERT_TRUE(a->Send(net::EncodeNewPost("late from A")));
    ASSERT_TRUE(b->Send(net::EncodeListReport("from B\r\nx\r\n")));
    ASSERT_TRUE(b->Send(net::EncodeNewPost("from B")));
    for (auto* client : {a.get(), b.get()}) {
        const auto post = client->NextOf(net::ServerNewPost);
        ASSERT_TRUE(post);
        EXPECT_EQ(post->text, "from B");
    }
}

TEST_F(ServerTest, FourClientsAtEightSecondsShareTheBoardEveryTwoSeconds) {
    config_.minInterval = 1s;
    StoreBoardList(kBoard, "x\r\n");
    Start();
    std::vector<std::unique_ptr<TestClient>> crowd;
    crowd.push_back(Connect());
    ASSERT_TRUE(crowd[0]->Watch(kBoard, 8));
    ASSERT_TRUE(crowd[0]->NextOf(net::CheckList)); // alone, at once
    for (int i = 1; i < 4; ++i) {
        crowd.push_back(Connect());
        ASSERT_TRUE(crowd[i]->Watch(kBoard, 8));
        // Answered after the SearchState: the client is monitoring.
        ASSERT_TRUE(crowd[i]->Send(net::EncodeVersion()));
        ASSERT_EQ(crowd[i]->Result(net::VersionResult), 1u);
    }
    std::vector<std::pair<std::int64_t, int>> asks = {{0, 0}};
    ASSERT_TRUE(crowd[0]->Send(net::EncodeListReport("x\r\n")));
    ASSERT_TRUE(Reaches(server_->Metrics().checksCompleted, std::uint64_t{1}));

    for (std::int64_t now = 250; now <= 30'000; now += 250) {
        Elapse(250);
        for (int i = 0; i < 4; ++i) {
            while (const auto message = crowd[i]->Next(5ms)) {
                if (message->type != net::CheckList) continue;
                asks.emplace_back(now, i);
                ASSERT_TRUE(crowd[i]->Send(net::EncodeListReport("x\r\n")));
            }
        }
        ASSERT_TRUE(Reaches(server_->Metrics().checksCompleted, static_cast<std::uint64_t>(asks.size())));
    }
    // Every 2 s in turn: 0, 2, ..., 30 s.
    ASSERT_EQ(asks.size(), 16u);
    std::map<int, std::int64_t> last;
    for (std::size_t k = 0; k < asks.size(); ++k) {
        EXPECT_EQ(asks[k].first, static_cast<std::int64_t>(k) * 2'000) << "ask " << k;
        const auto [at, client] = asks[k];
        if (last.count(client)) {
            EXPECT_EQ(at - last[client], 8'000) << "client " << client;
        }
        last[client] = at;
    }
    EXPECT_EQ(server_->Metrics().checksTimedOut.load(), 0u);
    const std::string metrics = Admin("GET", "/metrics")->body;
    EXPECT_NE(metrics.find(std::string("\nquorlan_board_check_interval_seconds{board=\"") + kBoard + "\"} 2.000\n"),
              std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find(std::string("\nquorlan_board_monitoring_clients{board=\"") + kBoard + "\"} 4\n"),
              std::string::npos);
    EXPECT_NE(metrics.find("\nquorlan_host_checks_total{host=\"127.0.0.1\"} 16\n"), std::string::npos);
}

TEST_F(ServerTest, AnAccountStillWatchingOnAnotherConnectionMissesNothing) {
    CreateAccount("01011112222", "pw");
    StoreBoardList(kBoard, "x\r\n");
    Start();
    auto checker = Connect();
    ASSERT_TRUE(checker->Watch(kBoard, kSlowInterval));
    ASSERT_TRUE(checker->NextOf(net::CheckList));
    ASSERT_TRUE(checker->Send(net::EncodeListReport("after\r\ngone\r\nstill\r\nx\r\n")));
    auto first = Connect();
    auto second = Connect();
    for (auto* client : {first.get(), second.get()}) {
        ASSERT_EQ(client->LogIn("010-1111-2222", "pw"), 1u);
        ASSERT_TRUE(client->Watch(kBoard, kSlowInterval));
        ASSERT_TRUE(client->Send(net::EncodeVersion()));
        ASSERT_EQ(client->Result(net::VersionResult), 1u);
    }
    // One connection of the account goes; the other still watches.
    first.reset();
    ASSERT_TRUE(Reaches(server_->Metrics().connections, std::int64_t{2}));
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("still")));
    EXPECT_EQ(second->NextOf(net::ServerNewPost)->text, "still");
    // Now the account is away.
    second.reset();
    ASSERT_TRUE(Reaches(server_->Metrics().connections, std::int64_t{1}));
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("gone")));
    EXPECT_EQ(checker->NextOf(net::ServerNewPost)->text, "still");
    EXPECT_EQ(checker->NextOf(net::ServerNewPost)->text, "gone");

    auto back = Connect();
    ASSERT_EQ(back->LogIn("010-1111-2222", "pw"), 1u);
    ASSERT_TRUE(back->Watch(kBoard, kSlowInterval));
    EXPECT_EQ(back->NextOf(net::ServerNewPost)->text, "gone"); // not "still", seen on the other connection
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("after")));
    EXPECT_EQ(back->NextOf(net::ServerNewPost)->text, "after");
    EXPECT_EQ(server_->Metrics().linesReplayed.load(), 1u);
}

TEST_F(ServerTest, APostMissedDuringADropIsSentOnceAfterTheAutomaticLogin) {
    CreateAccount("01011112222", "pw");
    StoreBoardList(kBoard, "x\r\n");
    Start();
    auto checker = Connect();
    ASSERT_TRUE(checker->Watch(kBoard, kSlowInterval));
    ASSERT_TRUE(checker->NextOf(net::CheckList));
    ASSERT_TRUE(checker->Send(net::EncodeListReport("after\r\naway\r\nbefore\r\nx\r\n")));
    auto user = Connect();
    ASSERT_EQ(user->LogIn("010-1111-2222", "pw"), 1u);
    ASSERT_TRUE(user->Watch(kBoard, kSlowInterval));
    auto anonymous = Connect();
    ASSERT_TRUE(anonymous->Watch(kBoard, kSlowInterval));
    for (auto* client : {user.get(), anonymous.get()}) {
        ASSERT_TRUE(client->Send(net::EncodeVersion()));
        ASSERT_EQ(client->Result(net::VersionResult), 1u); // monitoring from here on
    }
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("before")));
    EXPECT_EQ(user->NextOf(net::ServerNewPost)->text, "before");

    user.reset();
    anonymous.reset();
    ASSERT_TRUE(Reaches(server_->Metrics().connections, std::int64_t{1}));
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("away")));
    EXPECT_EQ(checker->NextOf(net::ServerNewPost, 5s)->text, "before");
    EXPECT_EQ(checker->NextOf(net::ServerNewPost)->text, "away");

    // The client's reconnection: Version, Login and SetBoard before any
    // answer; SearchState once the board is accepted.
    auto back = Connect();
    ASSERT_TRUE(back->Send(net::EncodeVersion()));
    ASSERT_TRUE(back->Send(net::EncodeLogin("010-1111-2222", "pw")));
    ASSERT_TRUE(back->Send(net::EncodeSetBoard(kSlowInterval, kBoard)));
    std::vector<std::string> got;
    // Everything up to the answer of a SetBoard, keeping the posts.
    const auto untilBoardSet = [&] {
        while (const auto message = back->Next(5s)) {
            if (message->type == net::ServerNewPost) got.push_back(message->text);
            if (message->type == net::SetBoardResult) return message->code == 1u;
        }
        return false;
    };
    ASSERT_TRUE(untilBoardSet());
    ASSERT_TRUE(back->Send(net::EncodeSearchState(1)));
    ASSERT_TRUE(back->Send(net::EncodeSetBoard(kSlowInterval, kBoard))); // again: nothing more
    ASSERT_TRUE(untilBoardSet());
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("after")));
    while (got.empty() || got.back() != "after") {
        const auto post = back->NextOf(net::ServerNewPost);
        ASSERT_TRUE(post);
        got.push_back(post->text);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"away", "after"}));
    EXPECT_EQ(server_->Metrics().linesReplayed.load(), 1u);

    auto anonymousBack = Connect();
    ASSERT_TRUE(anonymousBack->Watch(kBoard, kSlowInterval));
    EXPECT_FALSE(anonymousBack->NextOf(net::ServerNewPost, kQuiet));
}

TEST_F(ServerTest, NewPostsReachMonitoringClientsFromTheCheckerOnceEach) {
    StoreBoardList(kBoard, "x\r\n");
    Start();
    auto checker = Connect();
    ASSERT_TRUE(checker->Watch(kBoard, kSlowInterval));
    ASSERT_TRUE(checker->NextOf(net::CheckList));
    auto watcher = Connect();
    ASSERT_TRUE(watcher->Watch(kBoard, kSlowInterval));
    auto idle = Connect(); // registered, not monitoring
    ASSERT_TRUE(idle->Watch(kBoard, kSlowInterval, false));
    auto elsewhere = Connect();
    ASSERT_TRUE(elsewhere->Watch(kOtherBoard, kSlowInterval));

    ASSERT_TRUE(checker->Send(net::EncodeListReport("bike 10 won\r\nbike 12won\r\ndesk\r\nx\r\n")));
    ASSERT_TRUE(watcher->Send(net::EncodeNewPost("not the checker")));
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("bike 10 won")));
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("bike 12won"))); // same post, other digits
    ASSERT_TRUE(checker->Send(net::EncodeNewPost("desk")));
    for (auto* client : {checker.get(), watcher.get()}) {
        std::vector<std::string> got;
        for (int i = 0; i < 2; ++i) {
            const auto post = client->NextOf(net::ServerNewPost);
            ASSERT_TRUE(post);
            got.push_back(post->text);
        }
        EXPECT_EQ(got, (std::vector<std::string>{"bike 10 won", "desk"}));
    }
    EXPECT_FALSE(idle->NextOf(net::ServerNewPost, 300ms));
    EXPECT_FALSE(elsewhere->NextOf(net::ServerNewPost, 10ms));
    EXPECT_EQ(server_->Metrics().duplicatesDropped.load(), 1u);
    EXPECT_EQ(server_->Metrics().postsRefused.load(), 1u);
}

TEST_F(ServerTest, TextAlertsGoOnlyThroughAuthorisedRelays) {
    CreateAccount("01011110000", "user");
    CreateAccount("01022220000", "plain");
    CreateAccount("01099990000", "relay", true);
    StoreBoardList(kBoard, "x\r\n");
    Start();
    auto user = Connect();
    ForwardOnBoard(*user, {"bike"});
    EXPECT_EQ(AskAlert(*user, "bike"), 0u); // not logged in
    ASSERT_EQ(user->LogIn("01011110000", "user"), 1u);
    EXPECT_EQ(AskAlert(*user, "bike"), 0u); // no relay

    auto pretender = Connect(); // RobotMode from an account not marked as relay
    ASSERT_EQ(pretender->LogIn("01022220000", "plain"), 1u);
    ASSERT_TRUE(pretender->Send(net::EncodeRobotMode(1)));
    EXPECT_EQ(AskAlert(*user, "bike"), 0u);

    // RobotMode sent right behind Login, before its answer, still counts.
    auto relay = Connect();
    ASSERT_TRUE(relay->Send(net::EncodeLogin("01099990000", "relay")));
    ASSERT_TRUE(relay->Send(net::EncodeRobotMode(1)));
    ASSERT_EQ(relay->Result(net::LoginResult), 1u);
    ASSERT_TRUE(relay->Send(net::EncodeVersion())); // a round trip: RobotMode has been handled
    ASSERT_EQ(relay->Result(net::VersionResult), 1u);

    EXPECT_EQ(AskAlert(*user, "bike"), 1u);
    const auto order = relay->NextOf(net::RequestSMS);
    ASSERT_TRUE(order);
    EXPECT_EQ(order->phone, "01011110000");
    EXPECT_EQ(order->text, "bike");
    EXPECT_EQ(AskAlert(*user, "bike"), 0u); // the same line again
    EXPECT_FALSE(pretender->NextOf(net::RequestSMS, 100ms));
    EXPECT_EQ(server_->Metrics().smsRelayed.load(), 1u);
    EXPECT_EQ(server_->Metrics().smsRefused.load(), 4u);
}

TEST_F(ServerTest, RobotModeIsRememberedAcrossReconnectsAndRestartsUntilWithdrawn) {
    CreateAccount("01011110000", "user");
    CreateAccount("01099990000", "relay", true);
    StoreBoardList(kBoard, "x\r\n");
    Start();
    auto user = Connect();
    ASSERT_EQ(user->LogIn("01011110000", "user"), 1u);
    ForwardOnBoard(*user, {"after reconnect"});
    auto relay = Connect();
    ASSERT_EQ(relay->LogIn("01099990000", "relay"), 1u);
    ASSERT_TRUE(relay->Send(net::EncodeRobotMode(1)));
    ASSERT_TRUE(relay->Send(net::EncodeVersion())); // a round trip: RobotMode has been handled
    ASSERT_EQ(relay->Result(net::VersionResult), 1u);
    relay = Connect(); // the old connection goes; the new one only logs in
    ASSERT_EQ(relay->LogIn("01099990000", "relay"), 1u);
    EXPECT_EQ(AskAlert(*user, "after reconnect"), 1u);
    EXPECT_TRUE(relay->NextOf(net::RequestSMS));

    relay.reset();
    user.reset();
    Stop();
    Start();
    user = Connect();
    ASSERT_EQ(user->LogIn("01011110000", "user"), 1u);
    ForwardOnBoard(*user, {"after restart", "withdrawn"});
    relay = Connect();
    ASSERT_EQ(relay->LogIn("01099990000", "relay"), 1u);
    EXPECT_EQ(AskAlert(*user, "after restart"), 1u);
    EXPECT_TRUE(relay->NextOf(net::RequestSMS));

    ASSERT_TRUE(relay->Send(net::EncodeRobotMode(0)));
    ASSERT_TRUE(relay->Send(net::EncodeVersion()));
    ASSERT_EQ(relay->Result(net::VersionResult), 1u);
    EXPECT_EQ(AskAlert(*user, "withdrawn"), 0u);
    relay = Connect();
    ASSERT_EQ(relay->LogIn("01099990000", "relay"), 1u);
    EXPECT_EQ(AskAlert(*user, "withdrawn"), 0u);
}

TEST_F(ServerTest, TheOperatorsRelayMarksTakeEffectOnConnectedClients) {
    CreateAccount("01011110000", "user");
    CreateAccount("01022220000", "later");
    CreateAccount("01099990000", "relay", true);
    StoreBoardList(kBoard, "x\r\n");
    Start();
    auto user = Connect();
    ASSERT_EQ(user->LogIn("01011110000", "user"), 1u);
    ForwardOnBoard(*user, {"one", "two"});
    auto inRobotMode = [&](const char* phone, const char* password) {
        auto client = Connect();
        EXPECT_EQ(client->LogIn(phone, password), 1u);
        EXPECT_TRUE(client->Send(net::EncodeRobotMode(1)));
        EXPECT_TRUE(client->Send(net::EncodeVersion()));
        EXPECT_EQ(client->Result(net::VersionResult), 1u);
        return client;
    };
    auto relay = inRobotMode("01099990000", "relay");
    auto later = inRobotMode("01022220000", "later"); // not a relay yet
    EXPECT_EQ(AskAlert(*user, "one"), 1u);
    EXPECT_TRUE(relay->NextOf(net::RequestSMS));

    WithAccounts([](server::IAccountStore& store) { ASSERT_TRUE(store.SetRelay("01099990000", false)); });
    EXPECT_EQ(AskAlert(*user, "two"), 0u);
    WithAccounts([](server::IAccountStore& store) { ASSERT_TRUE(store.SetRelay("01022220000", true)); });
    EXPECT_EQ(AskAlert(*user, "two"), 1u);
    const auto order = later->NextOf(net::RequestSMS);
    ASSERT_TRUE(order);
    EXPECT_EQ(order->text, "two");
    EXPECT_FALSE(relay->NextOf(net::RequestSMS, 100ms));
}

TEST_F(ServerTest, IdentificationNumbersAreLimitedPerAddressAndForTheServer) {
    config_.identPerHour = 4;
    CreateAccount("01099990000", "relay", true);
    Start();
    auto relay = Connect();
    ASSERT_EQ(relay->LogIn("01099990000", "relay"), 1u);
    ASSERT_TRUE(relay->Send(net::EncodeRobotMode(1)));
    ASSERT_TRUE(relay->Send(net::EncodeVersion()));
    ASSERT_EQ(relay->Result(net::VersionResult), 1u);
    int phone = 0;
    // Asks `count` numbers for fresh phones; the numbers relayed so far.
    auto request = [&](TestClient& client, int count) {
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(client.Send(net::EncodeRequestIdentNumber("0105555" + std::to_string(1000 + ++phone), "pw")));
        EXPECT_TRUE(client.Send(net::EncodeVersion())); // answered after the requests before it
        EXPECT_EQ(client.Result(net::VersionResult), 1u);
        return server_->Metrics().smsRelayed.load();
    };
    auto first = Connect(0, "127.0.0.2");
    EXPECT_EQ(request(*first, 4), 3u); // three per address in an hour
    EXPECT_EQ(request(*Connect(0, "127.0.0.2"), 1), 3u); // a new connection does not help
    EXPECT_EQ(request(*Connect(0, "127.0.0.3"), 2), 4u); // four for the server in an hour
    clock_.Advance(60 * 60'000);
    EXPECT_EQ(request(*first, 1), 5u);
}

TEST_F(ServerTest, BoardListsUncheckedForThirtyDaysAreForgottenAtStartUp) {
    constexpr std::int64_t kDay = 24 * 3'600'000LL;
    StoreBoardList(kBoard, "old\r\n", 31 * kDay);
    StoreBoardList(kOtherBoard, "recent\r\n", 29 * kDay);
    Start();
    Stop();
    auto opened = server::Database::Open(config_.databasePath);
    ASSERT_TRUE(opened.db);
    server::BoardListStore lists(*opened.db);
    EXPECT_EQ(lists.Load(kBoard), std::nullopt);
    EXPECT_EQ(lists.Load(kOtherBoard), "recent\r\n");
}

TEST_F(ServerTest, TheDatabaseIsReadableByItsOwnerOnly) {
    Start();
    for (const std::string suffix : {"", "-wal", "-shm"}) {
        struct stat info {};
        if (suffix.empty()) {
            ASSERT_EQ(::stat((config_.databasePath + suffix).c_str(), &info), 0);
        } else if (::stat((config_.databasePath + suffix).c_str(), &info) != 0) {
            continue;
        }
        EXPECT_EQ(info.st_mode & 0777, 0600u) << suffix;
    }
}

TEST_F(ServerTest, NoticesFromTheAdminEndpointReachAllOrOneBoard) {
    Start();
    auto onBoard = Connect();
    ASSERT_TRUE(onBoard->Watch(kBoard, kSlowInterval, false));
    auto onOther = Connect();
    ASSERT_TRUE(onOther->Watch(kOtherBoard, kSlowInterval, false));
    auto noBoard = Connect();
    ASSERT_TRUE(noBoard->Send(net::EncodeVersion()));
    ASSERT_TRUE(noBoard->Result(net::VersionResult));

    auto all = Admin("POST", "/notice", "서버 점검");
    ASSERT_TRUE(all);
    EXPECT_EQ(all->status, 200);
    for (auto* client : {onBoard.get(), onOther.get(), noBoard.get()}) {
        const auto notice = client->NextOf(net::System);
        ASSERT_TRUE(notice);
        EXPECT_EQ(notice->text, base::Cp949FromUtf8("서버 점검"));
    }
    auto one = Admin("POST", std::string("/notice?board=") + PercentEncoded(kBoard), "board only");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->body, "sent to 1 clients\n");
    EXPECT_EQ(onBoard->NextOf(net::System)->text, "board only");
    EXPECT_FALSE(onOther->NextOf(net::System, 200ms));

    EXPECT_EQ(Admin("POST", "/notice", "")->status, 400);
    EXPECT_EQ(Admin("POST", "/notice", std::string(9000, 'x'))->status, 413);
}

TEST_F(ServerTest, HealthAndMetricsAreServed) {
    Start();
    auto client = Connect();
    ASSERT_TRUE(client->Send(net::EncodeVersion()));
    ASSERT_TRUE(client->Result(net::VersionResult));
    auto health = Admin("GET", "/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_EQ(health->body, "ok\n");
    auto metrics = Admin("GET", "/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_NE(metrics->body.find("\nquorlan_connections 1\n"), std::string::npos);
    EXPECT_NE(metrics->body.find("\nquorlan_bytes_in_total 7\n"), std::string::npos);
}

TEST_F(ServerTest, AMalformedPacketClosesOnlyItsOwnConnection) {
    Start();
    auto bystander = Connect();
    const std::vector<std::vector<std::uint8_t>> bad = {
        {0x02, 0x00, 0x64},                               // length below 3
        {0x00, 0x20, 0x6B},                               // length 8192
        {0x07, 0x00, 0x71, 0x01, 0x00, 0x00, 0x00},       // unknown type 'q'
        {0x06, 0x00, 0x6B, 0x61, 0x62, 0x63},             // NewPost without its NUL
        {0x07, 0x00, 0x6D, 0x02, 0x00, 0x00, 0x00},       // SearchState 2
    };
    for (const auto& bytes : bad) {
        auto offender = Connect();
        ASSERT_TRUE(offender->SendBytes(bytes));
        EXPECT_TRUE(offender->ClosedByServer()) << int(bytes[2]);
        ASSERT_TRUE(bystander->Send(net::EncodeVersion()));
        EXPECT_EQ(bystander->Result(net::VersionResult), 1u);
    }
    EXPECT_EQ(server_->Metrics().malformedPackets.load(), bad.size());
}

TEST_F(ServerTest, AClientThatDoesNotReadIsDroppedWhileOthersKeepReceiving) {
    config_.socketSendBuffer = 4096; // reach the output bound without megabytes of kernel buffers
    Start();
    auto stalled = Connect(4096);
    auto reader = Connect();
    for (auto* client : {stalled.get(), reader.get()}) {
        ASSERT_TRUE(client->Send(net::EncodeVersion()));
    }
    ASSERT_TRUE(reader->Result(net::VersionResult));
    const std::string text(8000, 'n');
    int sent = 0;
    while (server_->Metrics().slowConsumersDropped.load() == 0 && sent < 400) {
        ASSERT_EQ(Admin("POST", "/notice", text)->status, 200);
        ++sent;
        const auto notice = reader->NextOf(net::System);
        ASSERT_TRUE(notice) << "notice " << sent;
        ASSERT_EQ(notice->text.size(), text.size());
    }
    EXPECT_EQ(server_->Metrics().slowConsumersDropped.load(), 1u);
    // The bound is what the queue really holds, about 256 KiB: not less.
    EXPECT_GE(static_cast<std::size_t>(sent), config_.trust.maxQueuedOutput / text.size() - 2);
    EXPECT_TRUE(stalled->ClosedByServer());
    auto after = Admin("POST", "/notice", "still here");
    EXPECT_EQ(after->body, "sent to 1 clients\n");
    EXPECT_EQ(reader->NextOf(net::System)->text, "still here");
}

} // namespace
} // namespace quorlan::test
