#pragma once
#include "base/IRandomSource.h"

namespace quorlan::shell {

// The alert's window shake (TimerShow, every 50 ms while enabled): 21 moves of
// 0..19 pixels right and down from the position the window had at the first
// move, then back to exactly that position. An alert during a shake only keeps
// the timer running, so the origin of the first move stays.
class WindowShake {
public:
    static constexpr int kIntervalMs = 50;
    static constexpr int kMoves = 21;
    static constexpr int kAmplitude = 20; // offsets 0 .. kAmplitude - 1

    struct Position {
        int left = 0;
        int top = 0;
        bool operator==(const Position&) const = default;
    };
    struct Step {
        Position position;     // where the window goes now
        bool finished = false; // the shake is over: disable TimerShow
    };

    explicit WindowShake(base::IRandomSource& random);

    // One tick with the window's current position.
    Step TimerShowTimer(Position current);

    int ShakeCount() const { return shakeCount_; }
    Position ShakeOrigin() const { return origin_; }

private:
    base::IRandomSource& random_;
    int shakeCount_ = 0;
    Position origin_;
};

} // namespace quorlan::shell
