// The alert limits counted in the database: the same line once, kPerHour in
// a sliding hour, an alert given back counted no more, and two instances
// admitting for one account at once never letting more through together.
#include "PgTest.h"
#include "server/cluster/pg/AlertBudget.h"
#include "server/postgres/PgSchema.h"

#include <map>

namespace quorlan::test {
namespace {

using server::SmsLimiter;
using server::pg::AlertBudget;
using Verdict = SmsLimiter::Verdict;

constexpr std::int64_t kStart = 1'800'000'000'000;
constexpr const char* kPhone = "01012345678";

class AlertBudgetTest : public PgTest {
protected:
    void SetUp() override {
        PgTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        a_ = Connect();
        b_ = Connect();
        bool migrated = false;
        server::pg::PgSchema::Migrate(*a_, [&](server::pg::PgSchema::Migrated m) {
            EXPECT_TRUE(m.ok) << m.error;
            migrated = true;
        });
        ASSERT_TRUE(RunLoopUntil(loop_, [&] { return migrated; }));
    }

    std::optional<Verdict> Admit(AlertBudget& budget, const std::string& line, std::int64_t nowMs,
                                 const std::string& phone = kPhone) {
        bool answered = false;
        std::optional<Verdict> verdict;
        budget.Admit(phone, line, nowMs, [&](std::optional<Verdict> v) {
            verdict = v;
            answered = true;
        });
        EXPECT_TRUE(RunLoopUntil(loop_, [&] { return answered; }));
        return verdict;
    }

    std::unique_ptr<server::pg::PgConnection> a_, b_;
};

TEST_F(AlertBudgetTest, TheSameLineOnceAndAtMostThirtyInASlidingHour) {
    AlertBudget budget(*a_);
    EXPECT_EQ(Admit(budget, "bike", kStart), Verdict::Admitted);
    EXPECT_EQ(Admit(budget, "bike", kStart + 1), Verdict::SameLine);
    for (std::size_t i = 1; i < SmsLimiter::kPerHour; ++i)
        ASSERT_EQ(Admit(budget, "line " + std::to_string(i), kStart + 10 + static_cast<std::int64_t>(i)),
                  Verdict::Admitted)
            << i;
    EXPECT_EQ(Admit(budget, "one more", kStart + 100), Verdict::OverHourlyLimit);
    EXPECT_EQ(Admit(budget, "bike", kStart + 100, "01099998888"), Verdict::Admitted); // another account

    // The first alert's hour is over: one more fits, and its line may come again.
    EXPECT_EQ(Admit(budget, "bike", kStart + SmsLimiter::kWindowMs), Verdict::Admitted);
    EXPECT_EQ(Admit(budget, "one more", kStart + SmsLimiter::kWindowMs + 1), Verdict::OverHourlyLimit);
}

TEST_F(AlertBudgetTest, AnAlertGivenBackIsNotCounted) {
    AlertBudget budget(*a_);
    for (std::size_t i = 0; i < SmsLimiter::kPerHour; ++i)
        ASSERT_EQ(Admit(budget, "line " + std::to_string(i), kStart + static_cast<std::int64_t>(i)), Verdict::Admitted);
    budget.Release(kPhone, "line 3", kStart + 3);
    EXPECT_EQ(Admit(budget, "line 3", kStart + 50), Verdict::Admitted);
    EXPECT_EQ(Admit(budget, "line 30", kStart + 51), Verdict::OverHourlyLimit);
}

TEST_F(AlertBudgetTest, TwoInstancesAdmittingAtOnceLetThroughNoMoreThanTheLimit) {
    AlertBudget onA(*a_);
    AlertBudget onB(*b_);
    // Every line asked on both instances at the same moment, more lines than
    // the hour allows.
    constexpr std::size_t kLines = SmsLimiter::kPerHour + 10;
    std::map<std::optional<Verdict>, std::size_t> verdicts;
    std::size_t answered = 0;
    for (std::size_t i = 0; i < kLines; ++i) {
        for (AlertBudget* budget : {&onA, &onB}) {
            budget->Admit(kPhone, "line " + std::to_string(i), kStart + static_cast<std::int64_t>(i),
                          [&](std::optional<Verdict> v) {
                              ++verdicts[v];
                              ++answered;
                          });
        }
    }
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return answered == 2 * kLines; }));
    EXPECT_EQ(verdicts[Verdict::Admitted], SmsLimiter::kPerHour);
    EXPECT_EQ(verdicts[Verdict::SameLine], SmsLimiter::kPerHour);
    EXPECT_EQ(verdicts[Verdict::OverHourlyLimit], 2 * (kLines - SmsLimiter::kPerHour));
    EXPECT_EQ(verdicts[std::nullopt], 0u);
}

} // namespace
} // namespace quorlan::test
