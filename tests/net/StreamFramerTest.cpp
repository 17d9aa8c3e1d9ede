#include "net/StreamFramer.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quorlan::net;
using Bytes = std::vector<std::uint8_t>;

namespace {

using Kind = StreamFramer::Frame::Kind;

// Two packets back to back: a System "hi" and a ListRequest.
const Bytes kTwoPackets = {0x06, 0x00, 0x70, 'h', 'i', 0x00, 0x04, 0x00, 0x69, 0x00};

} // namespace

TEST(StreamFramer, CutsTheSameTwoPacketsWhereverTheStreamIsSplit) {
    for (std::size_t split = 0; split <= kTwoPackets.size(); ++split) {
        SCOPED_TRACE(split);
        StreamFramer framer;
        std::vector<Bytes> packets;
        auto drain = [&] {
            for (auto frame = framer.Next(); frame.kind == Kind::Packet; frame = framer.Next())
                packets.emplace_back(frame.data, frame.data + frame.size);
        };
        framer.Feed(kTwoPackets.data(), split);
        drain();
        framer.Feed(kTwoPackets.data() + split, kTwoPackets.size() - split);
        drain();
        ASSERT_EQ(packets.size(), 2u);
        EXPECT_EQ(packets[0], (Bytes{0x06, 0x00, 0x70, 'h', 'i', 0x00}));
        EXPECT_EQ(packets[1], (Bytes{0x04, 0x00, 0x69, 0x00}));
        EXPECT_EQ(framer.Buffered(), 0u);
    }
}

TEST(StreamFramer, ALengthOutOfBoundsFailsAtTheHeaderAndStaysFailed) {
    const struct {
        const char* name;
        Bytes header;
        FrameLimits limits;
    } cases[] = {
        {"below the header", {0x02, 0x00, 0x70}, {}},
        {"above the maximum", {0x00, 0x20, 0x70}, {}}, // 8192
        {"above a reader's own maximum", {0x10, 0x00, 0x70}, {3, 15}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamFramer framer(c.limits);
        framer.Feed(c.header.data(), c.header.size());
        const auto first = framer.Next();
        EXPECT_EQ(first.kind, Kind::Error);
        EXPECT_NE(first.error.find("out of bounds"), std::string::npos) << first.error;
        EXPECT_TRUE(framer.Failed());
        framer.Feed(kTwoPackets.data(), kTwoPackets.size());
        EXPECT_EQ(framer.Next().kind, Kind::Error);
    }
}

TEST(StreamFramer, TheHeaderAloneTellsTheLength) {
    const Bytes header = {0xFF, 0x1F, 0x6A}; // 8191, the largest a client takes
    const FrameHead head = ReadFrameHead(header.data(), header.size());
    EXPECT_EQ(head.kind, FrameHead::Kind::Sized);
    EXPECT_EQ(head.length, 8191u);
    EXPECT_EQ(head.type, 'j');
    EXPECT_EQ(ReadFrameHead(header.data(), 2).kind, FrameHead::Kind::NeedMore);
    const Bytes large = {0xFF, 0xFF, 0x6A};
    EXPECT_EQ(ReadFrameHead(large.data(), large.size()).kind, FrameHead::Kind::Bad);
    EXPECT_EQ(ReadFrameHead(large.data(), large.size(), kAnyLength).kind, FrameHead::Kind::Sized);
}
