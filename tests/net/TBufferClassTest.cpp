#include "net/TBufferClass.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using quorlan::net::TBufferClass;

namespace {

std::vector<std::uint8_t> Bytes(int n, std::uint8_t start = 0) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
    std::iota(v.begin(), v.end(), start);
    return v;
}

} // namespace

TEST(TBufferClass, EmptyQueueReadsNothingAndLeavesDestinationUntouched) {
    TBufferClass q;
    std::uint8_t dest[4] = {9, 9, 9, 9};
    EXPECT_EQ(q.Size(), 0);
    EXPECT_EQ(q.Read(4, dest), 0);
    EXPECT_EQ(dest[0], 9);
}

struct AppendCase {
    int start;    // head = tail position before filling
    int queued;   // bytes queued first
    int count;    // bytes appended then
    bool fits;
};

class AppendLimits : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendLimits, RefusesWholeChunksBeyond8191) {
    const auto c = GetParam();
    TBufferClass q;
    q.ResetAt(c.start);
    ASSERT_TRUE(q.Append(c.queued, Bytes(c.queued).data()));
    const int tailBefore = q.Tail();
    EXPECT_EQ(q.Append(c.count, Bytes(c.count).data()), c.fits);
    EXPECT_EQ(q.Size(), c.fits ? c.queued + c.count : c.queued);
    if (!c.fits) {
        EXPECT_EQ(q.Tail(), tailBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AppendLimits,
                         ::testing::Values(AppendCase{0, 0, 8191, true}, AppendCase{0, 0, 8192, false},
                                           AppendCase{0, 100, 8091, true}, AppendCase{0, 100, 8092, false},
                                           AppendCase{8150, 100, 8091, true}, AppendCase{8150, 100, 8092, false}));

TEST(TBufferClass, AppendAcrossTheEndSplitsAndWraps) {
    TBufferClass q;
    q.ResetAt(8190);
    const auto data = Bytes(5, 1);
    ASSERT_TRUE(q.Append(5, data.data()));
    EXPECT_EQ(q.Tail(), 3);
    std::uint8_t out[5];
    EXPECT_EQ(q.Read(5, out), 5);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 5), data);
    EXPECT_EQ(q.Head(), 3);
}

TEST(TBufferClass, AppendEndingExactlyAtTheEndLeavesTailAtZero) {
    TBufferClass q;
    q.ResetAt(8190);
    ASSERT_TRUE(q.Append(2, Bytes(2).data()));
    EXPECT_EQ(q.Tail(), 0);
    EXPECT_EQ(q.Size(), 2);
}

TEST(TBufferClass, ReadMoreThanQueuedReturnsWhatThereIs) {
    TBufferClass q;
    ASSERT_TRUE(q.Append(10, Bytes(10).data()));
    std::uint8_t out[64];
    EXPECT_EQ(q.Read(64, out), 10);
    EXPECT_EQ(q.Size(), 0);
}

TEST(TBufferClass, PeekCopiesWithoutRemovingAndRefuses8192) {
    TBufferClass q;
    q.ResetAt(8191);
    ASSERT_TRUE(q.Append(3, Bytes(3, 7).data()));
    std::uint8_t out[3] = {};
    EXPECT_EQ(q.Peek(3, out), 3);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[2], 9);
    EXPECT_EQ(q.Size(), 3);

    std::vector<std::uint8_t> big(8192, 0xAA);
    EXPECT_EQ(q.Peek(8192, big.data()), 0);
    EXPECT_EQ(big[0], 0);
    EXPECT_EQ(big[8191], 0);
}
