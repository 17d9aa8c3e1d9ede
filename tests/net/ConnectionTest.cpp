#include "NetRig.h"
#include "fakes/ScriptedRandom.h"
#include "net/Connection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quorlan;
using test::Cp;
using testing::ElementsAre;
using testing::IsEmpty;
using Bytes = std::vector<std::uint8_t>;
using Panel = std::pair<int, std::string>;

namespace {

struct Rig : test::NetRig {
    // The jitter's extremes, then the middle.
    test::ScriptedRandom random{{0, 30000, 15000}};
    net::Connection connection{socket, logs, state, sender, actions, clock, random};
    Rig() {
        socket.connected = false;
        socket.onDisconnect = [this] { connection.MainSockDisconnect(); };
    }
    // The platform's view of one attempt's outcome.
    void AttemptFails() {
        int code = 10061;
        connection.MainSockError(code);
    }
    void AttemptConnects() {
        socket.connecting = false;
        socket.connected = true;
        connection.MainSockConnect();
    }
    void LinkLost() {
        socket.connected = false;
        connection.MainSockDisconnect();
    }
};

TEST(Connection, StartOpensOnceWithoutCountingAnAttempt) {
    Rig rig;
    rig.connection.Start();
    EXPECT_EQ(rig.socket.openCalls, 1);
    EXPECT_EQ(rig.state.ReconnectAttempts, 0);
    EXPECT_THAT(rig.logs.debug, IsEmpty());
}

TEST(Connection, ConnectSendsVersionThreeAndSaysConnected) {
    Rig rig;
    rig.connection.Start();
    rig.AttemptConnects();
    EXPECT_EQ(rig.socket.written, (Bytes{7, 0, 'd', 3, 0, 0, 0}));
    EXPECT_THAT(rig.logs.debug, ElementsAre("Socket: Connect", "Event: Send Version 1"));
    EXPECT_THAT(rig.actions.statusHistory, ElementsAre(Panel{1, Cp("연결됨")}));
    EXPECT_THAT(rig.logs.messages, IsEmpty());
}

TEST(Connection, VersionTheSocketDoesNotTakeIsLoggedAndLost) {
    Rig rig;
    rig.socket.acceptLimit = 3;
    rig.AttemptConnects();
    EXPECT_THAT(rig.logs.debug, ElementsAre("Socket: Connect", "Socket: !!! Send Error ", "Event: Send Version 1"));
    EXPECT_EQ(rig.actions.statusPanels[1], Cp("연결됨"));
}

TEST(Connection, ConnectAfterAnInstalledUpdateDoesNothing) {
    Rig rig;
    rig.state.FUpdateInstalled = true;
    rig.AttemptConnects();
    EXPECT_THAT(rig.socket.written, IsEmpty());
    EXPECT_THAT(rig.logs.debug, IsEmpty());
    EXPECT_THAT(rig.actions.statusHistory, IsEmpty());
}

TEST(Connection, DisconnectKeepsTheSession) {
    Rig rig;
    rig.state.FLoggedIn = rig.state.FBoardSet = rig.state.FSearching = true;
    rig.AttemptConnects();
    rig.LinkLost();
    EXPECT_THAT(rig.logs.debug, ElementsAre("Socket: Connect", "Event: Send Version 1", "Socket: DisConnect"));
    EXPECT_EQ(rig.actions.statusPanels[1], Cp("연결중지됨"));
    EXPECT_TRUE(rig.state.FLoggedIn);
    EXPECT_TRUE(rig.state.FBoardSet);
    EXPECT_TRUE(rig.state.FSearching);
}

struct ErrorCase {
    int code;
    const char* line;
};
class SocketErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(SocketErrors, LogTheSignedCodeMarkItHandledAndCloseIntoDisconnect) {
    Rig rig;
    rig.socket.connecting = true; // the start-up attempt
    int code = GetParam().code;
    rig.connection.MainSockError(code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(rig.socket.closeCalls, 1);
    EXPECT_THAT(rig.logs.debug, ElementsAre(GetParam().line, "Socket: DisConnect"));
    EXPECT_THAT(rig.actions.statusHistory, ElementsAre(Panel{1, Cp("연결중지됨")}));
}
INSTANTIATE_TEST_SUITE_P(Connection, SocketErrors,
                         testing::Values(ErrorCase{10061, "Socket: Socket Error: 10061"},
                                         ErrorCase{10054, "Socket: Socket Error: 10054"},
                                         ErrorCase{-1, "Socket: Socket Error: -1"}));

TEST(Connection, WriteEventOnlyLogs) {
    Rig rig;
    rig.socket.connected = true;
    rig.connection.MainSockWrite();
    EXPECT_THAT(rig.logs.debug, ElementsAre("Socket: Socket OnWrite"));
    EXPECT_THAT(rig.socket.written, IsEmpty());
}

TEST(Connection, ReconnectTickLeavesAConnectedLinkAlone) {
    Rig rig;
    rig.socket.connected = true;
    EXPECT_EQ(rig.connection.TimerReConnect(), 10000);
    EXPECT_EQ(rig.socket.openCalls, 0);
    EXPECT_EQ(rig.state.ReconnectAttempts, 0);
    EXPECT_THAT(rig.actions.statusHistory, IsEmpty());
}

TEST(Connection, ServerDownIsTriedEveryTenSecondsThenAtASlowerJitteredPaceForEver) {
    Rig rig;
    rig.connection.Start();
    rig.AttemptFails();
    std::vector<int> intervals;
    for (int attempt = 1; attempt <= 150; ++attempt) {
        intervals.push_back(rig.connection.TimerReConnect());
        rig.AttemptFails();
    }
    EXPECT_EQ(rig.socket.openCalls, 151); // start-up + 150 timer attempts
    EXPECT_EQ(rig.state.ReconnectAttempts, 150);

    // After attempts 1 to 99 the next comes in 10 s; from the 100th on, in
    // 60 s give or take 15 s: the scripted draws give both ends and the middle.
    for (int attempt = 1; attempt <= 99; ++attempt) EXPECT_EQ(intervals[attempt - 1], 10000) << attempt;
    EXPECT_EQ(rig.random.draws, 51);
    EXPECT_EQ(rig.random.bounds, std::vector<int>(51, 30001));
    const std::vector<int> slow(intervals.begin() + 99, intervals.begin() + 102);
    EXPECT_EQ(slow, (std::vector<int>{45000, 75000, 60000}));

    // The debug log keeps its lines: per attempt the error, then DisConnect.
    ASSERT_EQ(rig.logs.debug.size(), 2u * 151);
    for (std::size_t i = 0; i < rig.logs.debug.size(); i += 2) {
        EXPECT_EQ(rig.logs.debug[i], "Socket: Socket Error: 10061");
        EXPECT_EQ(rig.logs.debug[i + 1], "Socket: DisConnect");
    }
}

TEST(Connection, AnOutageLongerThanOnePeriodIsSaidUntilTheLinkIsBack) {
    Rig rig;
    rig.connection.Start();
    rig.AttemptConnects();
    rig.clock.tick = 100000;
    rig.LinkLost();
    // Attempts within one period of the loss: a timer tick, then one at once
    // (a wake).
    for (const std::uint32_t at : {105000U, 106000U, 110000U}) {
        rig.clock.tick = at;
        rig.connection.TimerReConnect();
        EXPECT_EQ(rig.actions.statusPanels[1], Cp("연결시도중..."));
        rig.AttemptFails();
        EXPECT_EQ(rig.actions.statusPanels[1], Cp("연결중지됨"));
    }
    EXPECT_THAT(rig.actions.trayStatus, IsEmpty());

    for (const std::uint32_t at : {110001U, 120000U, 130000U}) {
        rig.clock.tick = at;
        rig.connection.TimerReConnect();
        EXPECT_EQ(rig.actions.statusPanels[1], Cp("서버 연결 끊김 (재접속 시도 중)"));
        rig.AttemptFails();
        EXPECT_EQ(rig.actions.statusPanels[1], Cp("서버 연결 끊김 (재접속 시도 중)"));
    }
    EXPECT_TRUE(rig.state.FServerCutOff);
    EXPECT_THAT(rig.actions.trayStatus, ElementsAre(Cp("서버 연결 끊김 (재접속 시도 중)")));

    rig.connection.TimerReConnect();
    rig.AttemptConnects();
    EXPECT_FALSE(rig.state.FServerCutOff);
    EXPECT_EQ(rig.state.ReconnectAttempts, 0);
    EXPECT_THAT(rig.actions.trayStatus, ElementsAre(Cp("서버 연결 끊김 (재접속 시도 중)"), ""));
    EXPECT_THAT(rig.logs.messages, ElementsAre(Cp("서버에 다시 연결되었습니다.")));
    EXPECT_EQ(rig.actions.statusPanels[1], Cp("연결됨"));
    // Version still goes first on the new link.
    EXPECT_EQ(rig.socket.writes.back(), (Bytes{7, 0, 'd', 3, 0, 0, 0}));
}

TEST(Connection, AnOutageAcrossTheTicksWrapIsMeasuredRight) {
    Rig rig;
    rig.clock.tick = 0xFFFFF000U;
    rig.connection.Start();
    rig.AttemptFails();
    rig.clock.tick = 0x00000800U; // 4 s on
    rig.connection.TimerReConnect();
    EXPECT_FALSE(rig.state.FServerCutOff);
    rig.AttemptFails();
    rig.clock.tick = 0x00003000U; // 16 s on
    rig.connection.TimerReConnect();
    EXPECT_TRUE(rig.state.FServerCutOff);
}

TEST(Connection, EachOutageCountsAfresh) {
    Rig rig;
    rig.connection.Start();
    rig.AttemptConnects();
    // 150 losses, each regained at the first attempt: never cut off, never slow.
    for (int loss = 1; loss <= 150; ++loss) {
        rig.LinkLost();
        EXPECT_EQ(rig.connection.TimerReConnect(), 10000) << loss;
        rig.AttemptConnects();
    }
    EXPECT_EQ(rig.socket.openCalls, 1 + 150);
    EXPECT_EQ(rig.state.ReconnectAttempts, 0);
    EXPECT_THAT(rig.logs.messages, IsEmpty());
    EXPECT_THAT(rig.actions.trayStatus, IsEmpty());

    // A long outage goes slow, and the one after it starts fast again.
    rig.LinkLost();
    for (int attempt = 1; attempt <= 100; ++attempt) {
        rig.connection.TimerReConnect();
        rig.AttemptFails();
    }
    rig.connection.TimerReConnect();
    rig.AttemptConnects();
    rig.LinkLost();
    EXPECT_EQ(rig.connection.TimerReConnect(), 10000);
    EXPECT_EQ(rig.actions.statusPanels[1], Cp("연결시도중..."));
}

TEST(Connection, TickAbandonsAnAttemptStillUnderWayForAFreshOne) {
    Rig rig;
    rig.connection.Start();
    ASSERT_TRUE(rig.socket.Connecting());
    EXPECT_EQ(rig.connection.TimerReConnect(), 10000);
    EXPECT_EQ(rig.socket.closeCalls, 1);
    EXPECT_EQ(rig.socket.openCalls, 2);
    EXPECT_TRUE(rig.socket.Connecting());
    EXPECT_EQ(rig.state.ReconnectAttempts, 1);
    EXPECT_THAT(rig.logs.debug, ElementsAre("Socket: DisConnect"));
    EXPECT_THAT(rig.actions.statusHistory,
                ElementsAre(Panel{1, Cp("연결중지됨")}, Panel{1, Cp("연결시도중...")}));
}

} // namespace
