#include "shell/WindowShake.h"

namespace quorlan::shell {

WindowShake::WindowShake(base::IRandomSource& random) : random_(random) {}

WindowShake::Step WindowShake::TimerShowTimer(Position current) {
    if (shakeCount_ == 0) origin_ = current;
    Step step;
    // Two separate draws, left first.
    step.position.left = origin_.left + random_.Next(kAmplitude);
    step.position.top = origin_.top + random_.Next(kAmplitude);
    ++shakeCount_;
    if (shakeCount_ >= kMoves) {
        shakeCount_ = 0;
        step.position = origin_;
        step.finished = true;
        random_.Reseed();
    }
    return step;
}

} // namespace quorlan::shell
