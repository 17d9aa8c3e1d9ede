#include "fakes/FakeSocket.h"
#include "fakes/RecordingLogs.h"
#include "net/Sender.h"

#include <gtest/gtest.h>

using namespace quorlan;

namespace {

struct Rig {
    test::FakeSocket socket;
    test::RecordingLogs logs;
    test::RecordingMessageBox box;
    net::Sender sender{socket, logs, box};
};

} // namespace

TEST(Sender, WholeWriteSendsWithoutLogLines) {
    Rig rig;
    EXPECT_TRUE(rig.sender.SendSearchState(1));
    EXPECT_EQ(rig.socket.written, (std::vector<std::uint8_t>{0x07, 0x00, 0x6D, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(rig.logs.debug.empty());
}

TEST(Sender, ShortOrRefusedWriteIsLoggedAndLost) {
    for (int limit : {0, 3}) {
        Rig rig;
        rig.socket.acceptLimit = limit;
        EXPECT_FALSE(rig.sender.SendRobotMode(1));
        EXPECT_EQ(rig.logs.debug, std::vector<std::string>{"Socket: !!! Send Error "});
        EXPECT_TRUE(rig.box.shown.empty());
    }
    Rig offline;
    offline.socket.connected = false;
    EXPECT_FALSE(offline.sender.SendNewPost("x"));
    EXPECT_EQ(offline.logs.debug, std::vector<std::string>{"Socket: !!! Send Error "});
}

TEST(Sender, TextOverItsLimitShowsErrorAndSendsNothing) {
    Rig rig;
    EXPECT_FALSE(rig.sender.SendSetBoard(600, std::string(256, 'u')));
    EXPECT_FALSE(rig.sender.SendListReport(std::string(6144, 'l')));
    EXPECT_EQ(rig.box.shown, (std::vector<std::string>{"error", "error"}));
    EXPECT_TRUE(rig.socket.written.empty());
    EXPECT_TRUE(rig.logs.debug.empty());
}
