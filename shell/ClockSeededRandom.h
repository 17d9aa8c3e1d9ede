#pragma once
#include "base/IRandomSource.h"

#include <random>

namespace quorlan::shell {

// Pseudo-random numbers seeded from the system clock at creation and at every
// Reseed.
class ClockSeededRandom : public base::IRandomSource {
public:
    ClockSeededRandom();
    int Next(int bound) override;
    void Reseed() override;

private:
    std::minstd_rand engine_;
};

} // namespace quorlan::shell
