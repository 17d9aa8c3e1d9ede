#include "server/cluster/pg/OwnershipLease.h"

#include <gtest/gtest.h>

namespace quorlan::server::pg {
namespace {

constexpr std::int64_t kT0 = 1'700'000'000'000;

TEST(OwnershipLease, ShortTakeoverTimesAreRaised) {
    OwnershipLease lease(1'000);
    EXPECT_EQ(lease.LeaseMs(), OwnershipLease::kMinTakeoverMs / 2);
}

TEST(OwnershipLease, NothingIsTrustedBeforeTheServerAnswered) {
    OwnershipLease lease(10'000);
    EXPECT_FALSE(lease.Valid(kT0));
    EXPECT_FALSE(lease.Expired(kT0)); // nothing to give up yet
}

// The lease runs from the moment the answered query was sent, not from when
// the answer arrived: the server may have heard nothing since the sending.
TEST(OwnershipLease, HoldsForHalfTheTakeoverFromTheSending) {
    OwnershipLease lease(10'000);
    lease.Answered(kT0);
    struct Case {
        std::int64_t at;
        bool valid;
    } const cases[] = {{kT0, true}, {kT0 + 4'999, true}, {kT0 + 5'000, false}, {kT0 + 60'000, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(lease.Valid(c.at), c.valid) << c.at - kT0;
        EXPECT_EQ(lease.Expired(c.at), !c.valid) << c.at - kT0;
    }
}

TEST(OwnershipLease, AnOlderAnswerNeverShortensIt) {
    OwnershipLease lease(10'000);
    lease.Answered(kT0 + 2'000);
    lease.Answered(kT0); // a slow reply to an earlier query
    EXPECT_TRUE(lease.Valid(kT0 + 6'000));
    lease.Answered(kT0 + 4'000);
    EXPECT_TRUE(lease.Valid(kT0 + 8'999));
    EXPECT_FALSE(lease.Valid(kT0 + 9'000));
}

TEST(OwnershipLease, ALostSessionHoldsNothingUntilAnsweredAgain) {
    OwnershipLease lease(10'000);
    lease.Answered(kT0);
    lease.Lost();
    EXPECT_FALSE(lease.Valid(kT0 + 1));
    EXPECT_FALSE(lease.Expired(kT0 + 1));
    lease.Answered(kT0 + 2);
    EXPECT_TRUE(lease.Valid(kT0 + 3));
}

// The server's end waits at least the lease of silence before it frees the
// locks, so the old owner has stopped trusting them by then; after that wait
// one tick of another instance takes the board, all within the takeover time.
// Several heartbeats fit in one lease.
TEST(OwnershipLease, ServerWaitsLongerThanTheLeaseAndTakeoverFits) {
    for (const std::int64_t takeover :
         std::initializer_list<std::int64_t>{OwnershipLease::kMinTakeoverMs, 10'000, 10'500, 60'000}) {
        OwnershipLease lease(takeover);
        const auto keep = lease.ServerSideSettings();
        EXPECT_GE(keep.idleSeconds * 1000LL, lease.LeaseMs()) << takeover;
        EXPECT_GE(keep.userTimeoutMs, lease.LeaseMs()) << takeover;
        EXPECT_LE((keep.idleSeconds + keep.intervalSeconds * keep.count) * 1000LL + lease.TickEveryMs(), takeover)
            << takeover;
        EXPECT_GE(lease.LeaseMs() / lease.TickEveryMs(), 2) << takeover;
    }
}

} // namespace
} // namespace quorlan::server::pg
