#include "shell/ClockSeededRandom.h"

#include <chrono>

namespace quorlan::shell {

ClockSeededRandom::ClockSeededRandom() {
    Reseed();
}

int ClockSeededRandom::Next(int bound) {
    if (bound <= 1) return 0;
    std::uniform_int_distribution<int> distribution(0, bound - 1);
    return distribution(engine_);
}

void ClockSeededRandom::Reseed() {
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    engine_.seed(static_cast<std::minstd_rand::result_type>(now));
}

} // namespace quorlan::shell
