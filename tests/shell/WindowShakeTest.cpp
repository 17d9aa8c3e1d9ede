#include "shell/WindowShake.h"
#include "shell/MinimumSize.h"

#include "fakes/ScriptedRandom.h"

#include <gtest/gtest.h>

namespace quorlan::shell {
namespace {

using Position = WindowShake::Position;

TEST(WindowShakeTest, TwentyOneMovesWithinTwentyPixelsThenExactlyBackAtTheOrigin) {
    test::ScriptedRandom random({19, 0, 7, 25, 3});
    WindowShake shake(random);
    const Position origin{405, 165};
    Position at = origin;
    for (int move = 1; move <= 20; ++move) {
        const auto step = shake.TimerShowTimer(at);
        ASSERT_FALSE(step.finished) << move;
        EXPECT_GE(step.position.left, origin.left);
        EXPECT_LE(step.position.left, origin.left + 19);
        EXPECT_GE(step.position.top, origin.top);
        EXPECT_LE(step.position.top, origin.top + 19);
        at = step.position;
    }
    const auto last = shake.TimerShowTimer(at);
    EXPECT_TRUE(last.finished);
    EXPECT_EQ(last.position, origin);
    EXPECT_EQ(shake.ShakeCount(), 0);
    EXPECT_EQ(random.draws, 42); // two separate draws per move
    EXPECT_EQ(random.reseeds, 1);
}

TEST(WindowShakeTest, OffsetsComeFromTheDrawsLeftFirst) {
    test::ScriptedRandom random({19, 0});
    WindowShake shake(random);
    EXPECT_EQ(shake.TimerShowTimer({10, 20}).position, (Position{29, 20}));
}

TEST(WindowShakeTest, TheOriginIsTakenOnlyAtTheFirstMove) {
    test::ScriptedRandom random({5});
    WindowShake shake(random);
    auto step = shake.TimerShowTimer({100, 100});
    for (int i = 0; i < 19; ++i) step = shake.TimerShowTimer({999, 999}); // the window stands elsewhere mid-shake
    step = shake.TimerShowTimer({999, 999});
    EXPECT_TRUE(step.finished);
    EXPECT_EQ(step.position, (Position{100, 100}));
    // The next shake starts from wherever the window is then.
    EXPECT_EQ(shake.TimerShowTimer({0, 0}).position, (Position{5, 5}));
    EXPECT_EQ(shake.ShakeOrigin(), (Position{0, 0}));
}

TEST(MinimumSizeTest, SnapsOnlyTheDimensionThatIsTooSmall) {
    struct Case {
        WindowSize in, out;
    } cases[] = {
        {{100, 100}, {310, 310}}, {{309, 500}, {310, 500}}, {{500, 309}, {500, 310}},
        {{310, 310}, {310, 310}}, {{800, 600}, {800, 600}}, {{-5, 0}, {310, 310}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SnapToMinimumSize(c.in), c.out) << c.in.width << "x" << c.in.height;
    }
}

} // namespace
} // namespace quorlan::shell
