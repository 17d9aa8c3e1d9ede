#include "fakes/FakeSocket.h"
#include "fakes/RecordingLogs.h"
#include "net/Codec.h"
#include "net/PacketReceiver.h"

#include <gtest/gtest.h>

using namespace quorlan;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Rig {
    test::FakeSocket socket;
    test::RecordingLogs logs;
    std::vector<Bytes> dispatched;
    net::PacketReceiver receiver{socket, logs, [this](const std::uint8_t* p, int n) {
                                     dispatched.emplace_back(p, p + n);
                                 }};
    void Receive(const Bytes& chunk) {
        socket.Feed(chunk);
        receiver.MainSockRead();
    }
};

Bytes Concat(const Bytes& a, const Bytes& b) {
    Bytes r = a;
    r.insert(r.end(), b.begin(), b.end());
    return r;
}

} // namespace

TEST(PacketReceiver, SplitPacketIsDispatchedOnTheTickAfterItsLastByte) {
    Rig rig;
    const Bytes packet = net::EncodeSystem("notice").bytes;
    rig.Receive(Bytes(packet.begin(), packet.begin() + 5));
    EXPECT_FALSE(rig.receiver.TimerProcess());
    rig.Receive(Bytes(packet.begin() + 5, packet.end()));
    EXPECT_TRUE(rig.receiver.TimerProcess());
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.dispatched[0], packet);
}

TEST(PacketReceiver, TwoPacketsInOneChunkTakeTwoTicksInOrder) {
    Rig rig;
    const Bytes a = net::EncodeResult(net::VersionResult, 1).bytes;
    const Bytes b = net::EncodeServerNewPost("post").bytes;
    rig.Receive(Concat(a, b));
    EXPECT_TRUE(rig.receiver.TimerProcess());
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_TRUE(rig.receiver.TimerProcess());
    ASSERT_EQ(rig.dispatched.size(), 2u);
    EXPECT_EQ(rig.dispatched[0], a);
    EXPECT_EQ(rig.dispatched[1], b);
    EXPECT_FALSE(rig.receiver.TimerProcess());
}

TEST(PacketReceiver, HeaderOnlyPacketWaitsForOneMoreByteThatStaysQueued) {
    Rig rig;
    rig.Receive({0x03, 0x00, 0x69});
    EXPECT_FALSE(rig.receiver.TimerProcess());
    rig.Receive({0x07});
    EXPECT_TRUE(rig.receiver.TimerProcess());
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.dispatched[0], (Bytes{0x03, 0x00, 0x69}));
    EXPECT_EQ(rig.receiver.Queue().Size(), 1);
}

TEST(PacketReceiver, LargestPacketThatTheQueueCanHoldIsFramed) {
    Rig rig;
    const Bytes packet = net::EncodeCheckList(std::string(8187, 'x')).bytes;
    ASSERT_EQ(packet.size(), 8191u);
    rig.Receive(packet);
    EXPECT_TRUE(rig.receiver.TimerProcess());
    ASSERT_EQ(rig.dispatched.size(), 1u);
    EXPECT_EQ(rig.dispatched[0].size(), 8191u);
}

TEST(PacketReceiver, ReadTakesNoMoreThanTheFreeSpaceSoNoByteIsLost) {
    Rig rig;
    Bytes stream;
    std::vector<Bytes> packets;
    for (int i = 0; i < 40; ++i) {
        packets.push_back(net::EncodeCheckList(std::string(1000, static_cast<char>('a' + i % 26))).bytes);
        stream = Concat(stream, packets.back());
    }
    rig.socket.Feed(stream); // 40 KB waiting at once, announced by one read event
    rig.receiver.MainSockRead();
    for (int tick = 0; tick < 200 && rig.dispatched.size() < packets.size(); ++tick) rig.receiver.TimerProcess();
    EXPECT_EQ(rig.dispatched, packets);
    EXPECT_EQ(rig.socket.closeCalls, 0);
}

TEST(PacketReceiver, ImpossibleLengthEmptiesTheQueueAndClosesTheLink) {
    for (const Bytes& header : {Bytes{0x02, 0x00, 0x64, 0x00}, Bytes{0x00, 0x20, 0x64, 0x00}}) {
        Rig rig;
        rig.Receive(header);
        EXPECT_FALSE(rig.receiver.TimerProcess());
        EXPECT_EQ(rig.receiver.Queue().Size(), 0);
        EXPECT_EQ(rig.socket.closeCalls, 1);
        ASSERT_EQ(rig.logs.debug.size(), 1u);
        EXPECT_NE(rig.logs.debug[0].find("Bad packet length"), std::string::npos);
        EXPECT_TRUE(rig.dispatched.empty());
    }
}

TEST(PacketReceiver, DisconnectDropsOnlyTheUnfinishedPacket) {
    Rig rig;
    const Bytes whole = net::EncodeSystem("kept").bytes;
    // A NewPost of 45 bytes cut after 10, then the next link's VersionResult.
    const Bytes half = Bytes{0x2D, 0x00, 0x6B, 'h', 'a', 'l', 'f', 'p', 'o', 's'};
    const Bytes next = net::EncodeResult(net::VersionResult, 1).bytes;
    rig.Receive(Concat(whole, half));
    rig.receiver.DropUnfinishedPacket();
    EXPECT_EQ(rig.receiver.Queue().Size(), static_cast<int>(whole.size()));
    ASSERT_EQ(rig.logs.debug.size(), 1u);
    EXPECT_EQ(rig.logs.debug[0], "Socket: 10 bytes of an unfinished packet dropped");
    rig.Receive(next);
    EXPECT_TRUE(rig.receiver.TimerProcess());
    EXPECT_TRUE(rig.receiver.TimerProcess());
    EXPECT_EQ(rig.dispatched, (std::vector<Bytes>{whole, next}));
    EXPECT_EQ(rig.receiver.Queue().Size(), 0);
}

TEST(PacketReceiver, DisconnectKeepsWholePacketsAndDropsAStrayHeaderByte) {
    const Bytes whole = net::EncodeSystem("kept").bytes;
    struct Case {
        Bytes queued;
        int kept;
    } cases[] = {
        {{}, 0},
        {whole, static_cast<int>(whole.size())},
        {Concat(whole, {0x03, 0x00, 0x69}), static_cast<int>(whole.size()) + 3}, // a header-only packet is whole
        {Concat(whole, {0x2D}), static_cast<int>(whole.size())},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.Receive(c.queued);
        rig.receiver.DropUnfinishedPacket();
        EXPECT_EQ(rig.receiver.Queue().Size(), c.kept);
    }
}
