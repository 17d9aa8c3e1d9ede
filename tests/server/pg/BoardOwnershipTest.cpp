#include "PgTest.h"
#include "server/ManualClock.h"
#include "server/cluster/pg/BoardOwnership.h"
#include "server/postgres/PgSchema.h"

#include <set>

namespace quorlan::test {
namespace {

using server::pg::BoardOwnership;
using server::pg::PgConnection;
using server::pg::PgSchema;

const std::string kBoard("http://127.0.0.1:8080/bbs/zboard.php?id=\xC0\xE5\xC5\xCD", 44);

// Two instances, each with its own session, on one database. Every change
// of ownership is checked against the other instance at that moment.
class BoardOwnershipTest : public PgTest {
protected:
    void SetUp() override {
        PgTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        dbA_ = Connect();
        dbB_ = Connect();
        std::optional<PgSchema::Migrated> migrated;
        PgSchema::Migrate(*dbA_, [&](PgSchema::Migrated m) { migrated = m; });
        ASSERT_TRUE(RunLoopUntil(loop_, [&] { return migrated.has_value(); }));
        ASSERT_TRUE(migrated->ok) << migrated->error;
        a_ = std::make_unique<BoardOwnership>(loop_, *dbA_, clock_, BoardOwnership::Options{"node_a", 10'000});
        b_ = std::make_unique<BoardOwnership>(loop_, *dbB_, clock_, BoardOwnership::Options{"node_b", 10'000});
        for (auto* owner : {a_.get(), b_.get()})
            owner->AddChangeListener([this, owner](const std::string& board, bool owned) {
                if (board != kBoard) return;
                if (owned)
                    owners_.insert(owner);
                else
                    owners_.erase(owner);
                mostOwners_ = std::max(mostOwners_, owners_.size());
            });
    }

    // Runs the loop until both sessions have answered everything asked.
    void Settle() {
        ASSERT_TRUE(RunLoopUntil(
            loop_, [&] { return dbA_->LinkUp() && dbB_->LinkUp() && dbA_->Queued() == 0 && dbB_->Queued() == 0; }));
    }
    void TickBoth(int rounds) {
        for (int i = 0; i < rounds; ++i) {
            a_->Tick();
            b_->Tick();
            Settle();
        }
    }
    std::optional<std::string> RecordedOwner() {
        auto reply =
            Run(*dbA_, "SELECT owner_node FROM cluster_boards WHERE url = $1", {server::pg::PgParam::Bytes(kBoard)});
        return reply.rows.empty() ? std::nullopt : reply.rows[0][0];
    }

    ManualClock clock_;
    std::unique_ptr<PgConnection> dbA_, dbB_;
    std::unique_ptr<BoardOwnership> a_, b_;
    std::set<BoardOwnership*> owners_;
    std::size_t mostOwners_ = 0;
};

TEST_F(BoardOwnershipTest, OneOwnerAndTakeoverWhenItsSessionDies) {
    a_->Want(kBoard);
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return a_->Owns(kBoard); }));
    b_->Want(kBoard);
    TickBoth(3);
    EXPECT_TRUE(a_->Owns(kBoard));
    EXPECT_FALSE(b_->Owns(kBoard));
    EXPECT_EQ(RecordedOwner(), "node_a");
    const auto firstEpoch = a_->Epoch(kBoard);
    ASSERT_TRUE(firstEpoch);

    // The holder's instance dies: PostgreSQL frees its locks with its session.
    Terminate(dbA_->BackendPid());
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return !a_->Owns(kBoard) && a_->OwnedCount() == 0; }));
    TickBoth(2);
    EXPECT_TRUE(b_->Owns(kBoard));
    EXPECT_EQ(b_->Epoch(kBoard), *firstEpoch + 1);
    EXPECT_EQ(RecordedOwner(), "node_b");

    // Back again, the first instance does not take it back.
    TickBoth(3);
    EXPECT_FALSE(a_->Owns(kBoard));
    EXPECT_TRUE(b_->Owns(kBoard));
    EXPECT_EQ(mostOwners_, 1u);
}

TEST_F(BoardOwnershipTest, AnUnwantedBoardPassesToTheNextInstance) {
    a_->Want(kBoard);
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return a_->Owns(kBoard); }));
    b_->Want(kBoard);
    TickBoth(1);
    a_->Unwant(kBoard); // its last client left
    EXPECT_FALSE(a_->Owns(kBoard));
    Settle();
    TickBoth(1);
    EXPECT_TRUE(b_->Owns(kBoard));
    EXPECT_EQ(mostOwners_, 1u);
}

// An instance that hears nothing from the database for the lease stops
// scheduling at once and drops its session, which frees the board.
TEST_F(BoardOwnershipTest, ARunOutLeaseGivesTheBoardUp) {
    // The first instance takes the board before the second asks for it (two
    // sessions asking at once reach the database in either order).
    a_->Want(kBoard);
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return a_->Owns(kBoard); }));
    b_->Want(kBoard);
    TickBoth(1);
    ASSERT_TRUE(a_->Owns(kBoard));
    // The first instance is cut off while the second keeps its heartbeats.
    for (int i = 0; i < 3; ++i) {
        clock_.Advance(2'000);
        b_->Tick();
        Settle();
    }
    EXPECT_FALSE(a_->Owns(kBoard)); // the lease is half the takeover time
    a_->Tick();
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return a_->OwnedCount() == 0; }));
    Settle();
    b_->Tick();
    Settle();
    TickBoth(1);
    EXPECT_TRUE(b_->Owns(kBoard));
    EXPECT_FALSE(a_->Owns(kBoard));
    EXPECT_EQ(dbA_->LinksMade(), 2u);
    EXPECT_EQ(mostOwners_, 1u);
}

// Heartbeats keep an owner's lease fresh as time goes on.
TEST_F(BoardOwnershipTest, HeartbeatsKeepTheLease) {
    a_->Want(kBoard);
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return a_->Owns(kBoard); }));
    for (int i = 0; i < 10; ++i) {
        clock_.Advance(2'000);
        TickBoth(1);
        ASSERT_TRUE(a_->Owns(kBoard)) << i;
    }
    const auto beat = Run(*dbB_, "SELECT heartbeat_ms FROM cluster_nodes WHERE node_id = 'node_a'");
    EXPECT_EQ(beat.Int(0, 0), clock_.NowMs());
}

} // namespace
} // namespace quorlan::test
