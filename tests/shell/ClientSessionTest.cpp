// The session's receive pace: packets are framed and handled with no window.
#include "shell/ClientSession.h"

#include "fakes/FakeClock.h"
#include "fakes/FakeSocket.h"
#include "fakes/FakeTimer.h"
#include "fakes/RecordingActions.h"
#include "fakes/RecordingLogs.h"
#include "fakes/ScriptedRandom.h"
#include "fakes/TempDir.h"
#include "net/Codec.h"

#include <gmock/gmock.h>

namespace quorlan::shell {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ElementsAre;

class ClientSessionTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::FakeSocket socket;
    test::FakeTimer timerProcess;
    test::RecordingMessageBox messageBox;
    test::FakeClock clock;
    test::ScriptedRandom random;
    test::RecordingActions actions;
    ClientSession session{dir.File("Quorlan.ini"), socket, timerProcess, messageBox, clock, random, actions};

    const std::deque<std::string>& MessageList() { return session.Logs().messageList.Lines(); }
};

TEST_F(ClientSessionTest, ReceivedPacketsAreFramedOnePerProcessTick) {
    const auto notice = net::EncodeSystem("hello");
    ASSERT_TRUE(notice.ok());
    socket.Feed(notice.bytes);
    socket.Feed(notice.bytes);
    session.MainSockRead();

    session.TimerProcessTimer();
    EXPECT_THAT(MessageList(), ElementsAre("System :hello"));
    session.TimerProcessTimer();
    EXPECT_THAT(MessageList(), ElementsAre("System :hello", "System :hello"));
}

TEST_F(ClientSessionTest, ProcessTimerRunsOnlyWhileAPacketWaits) {
    EXPECT_FALSE(session.TimerProcess().IsActive());
    const Bytes notice = net::EncodeSystem("hello").bytes;
    socket.Feed(Bytes(notice.begin(), notice.begin() + 4));
    session.MainSockRead();
    EXPECT_FALSE(session.TimerProcess().IsActive()); // half a packet: nothing to frame yet
    socket.Feed(Bytes(notice.begin() + 4, notice.end()));
    socket.Feed(notice);
    session.MainSockRead();
    EXPECT_TRUE(session.TimerProcess().IsActive());
    session.TimerProcessTimer();
    EXPECT_TRUE(session.TimerProcess().IsActive());
    session.TimerProcessTimer();
    EXPECT_FALSE(session.TimerProcess().IsActive());
    EXPECT_EQ(MessageList().size(), 2u);
}

TEST_F(ClientSessionTest, PacketCutByADisconnectDoesNotSwallowTheNextLinksPacket) {
    // A System notice cut after 5 bytes by the end of the link.
    socket.Feed({0x0B, 0x00, 0x70, 'c', 'u'});
    session.MainSockRead();
    session.TimerProcessTimer();
    session.MainSockDisconnect();
    socket.Feed(net::EncodeSystem("hello").bytes);
    session.MainSockRead();

    session.TimerProcessTimer();
    EXPECT_THAT(MessageList(), ElementsAre("System :hello"));
}

} // namespace
} // namespace quorlan::shell
