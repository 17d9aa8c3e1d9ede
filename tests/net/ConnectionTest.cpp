#include "NetRig.h"
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
    net::Connection connection{socket, logs, state, sender, actions};
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
    EXPECT_TRUE(rig.connection.TimerReConnect());
    EXPECT_EQ(rig.socket.openCalls, 0);
    EXPECT_EQ(rig.state.ReconnectAttempts, 0);
    EXPECT_THAT(rig.actions.statusHistory, IsEmpty());
}

TEST(Connection, ServerDownAlternatesTryingAndStoppedAndGivesUpAfterTheHundredFirstAttempt) {
    Rig rig;
    rig.connection.Start();
    rig.AttemptFails();
    for (int attempt = 1; attempt <= 101; ++attempt) {
        const bool enabled = rig.connection.TimerReConnect();
        EXPECT_EQ(enabled, attempt <= 100) << "attempt " << attempt;
        rig.AttemptFails();
    }
    EXPECT_EQ(rig.socket.openCalls, 102); // start-up + 101 timer attempts
    EXPECT_EQ(rig.state.ReconnectAttempts, 101);
    EXPECT_FALSE(rig.connection.ReconnectEnabled());

    const auto debugLines = rig.logs.debug.size();
    const auto panels = rig.actions.statusHistory.size();
    EXPECT_FALSE(rig.connection.TimerReConnect());
    EXPECT_EQ(rig.socket.openCalls, 102);
    EXPECT_EQ(rig.logs.debug.size(), debugLines);
    EXPECT_EQ(rig.actions.statusHistory.size(), panels);

    // Per attempt: error line, then DisConnect; panel "trying" then "stopped".
    ASSERT_EQ(rig.logs.debug.size(), 2u * 102);
    for (std::size_t i = 0; i < rig.logs.debug.size(); i += 2) {
        EXPECT_EQ(rig.logs.debug[i], "Socket: Socket Error: 10061");
        EXPECT_EQ(rig.logs.debug[i + 1], "Socket: DisConnect");
    }
    ASSERT_EQ(rig.actions.statusHistory.size(), 1u + 2u * 101);
    EXPECT_EQ(rig.actions.statusHistory[1], (Panel{1, Cp("연결시도중...")}));
    EXPECT_EQ(rig.actions.statusHistory[2], (Panel{1, Cp("연결중지됨")}));
}

TEST(Connection, AttemptsAreCountedOverTheWholeRun) {
    Rig rig;
    rig.connection.Start();
    rig.AttemptConnects();
    // 101 losses, each regained at the first attempt.
    for (int loss = 1; loss <= 101; ++loss) {
        rig.LinkLost();
        rig.connection.TimerReConnect();
        rig.AttemptConnects();
    }
    EXPECT_EQ(rig.state.ReconnectAttempts, 101);
    rig.LinkLost(); // the 102nd loss
    EXPECT_FALSE(rig.connection.TimerReConnect());
    EXPECT_EQ(rig.socket.openCalls, 1 + 101);
    EXPECT_EQ(rig.actions.statusPanels[1], Cp("연결중지됨"));
}

TEST(Connection, TickAbandonsAnAttemptStillUnderWayForAFreshOne) {
    Rig rig;
    rig.connection.Start();
    ASSERT_TRUE(rig.socket.Connecting());
    EXPECT_TRUE(rig.connection.TimerReConnect());
    EXPECT_EQ(rig.socket.closeCalls, 1);
    EXPECT_EQ(rig.socket.openCalls, 2);
    EXPECT_TRUE(rig.socket.Connecting());
    EXPECT_EQ(rig.state.ReconnectAttempts, 1);
    EXPECT_THAT(rig.logs.debug, ElementsAre("Socket: DisConnect"));
    EXPECT_THAT(rig.actions.statusHistory,
                ElementsAre(Panel{1, Cp("연결중지됨")}, Panel{1, Cp("연결시도중...")}));
}

} // namespace
