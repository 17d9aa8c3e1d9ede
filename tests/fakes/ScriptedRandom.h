#pragma once
#include "shell/IRandomSource.h"

#include <cstddef>
#include <vector>

namespace quorlan::test {

// Hands out a fixed sequence (repeated), reduced into the asked range; counts
// the reseeds.
class ScriptedRandom : public shell::IRandomSource {
public:
    explicit ScriptedRandom(std::vector<int> values = {19, 0, 7}) : values_(std::move(values)) {}
    int Next(int bound) override {
        const int value = values_.empty() ? 0 : values_[next_++ % values_.size()];
        ++draws;
        return bound > 0 ? value % bound : 0;
    }
    void Reseed() override { ++reseeds; }

    int draws = 0;
    int reseeds = 0;

private:
    std::vector<int> values_;
    std::size_t next_ = 0;
};

} // namespace quorlan::test
