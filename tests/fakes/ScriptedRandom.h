#pragma once
#include "base/IRandomSource.h"

#include <cstddef>
#include <vector>

namespace quorlan::test {

// Hands out a fixed sequence (repeated), reduced into the asked range; records
// the ranges asked and counts the reseeds.
class ScriptedRandom : public base::IRandomSource {
public:
    explicit ScriptedRandom(std::vector<int> values = {19, 0, 7}) : values_(std::move(values)) {}
    int Next(int bound) override {
        const int value = values_.empty() ? 0 : values_[next_++ % values_.size()];
        ++draws;
        bounds.push_back(bound);
        return bound > 0 ? value % bound : 0;
    }
    void Reseed() override { ++reseeds; }

    int draws = 0;
    std::vector<int> bounds; // asked of each draw
    int reseeds = 0;

private:
    std::vector<int> values_;
    std::size_t next_ = 0;
};

} // namespace quorlan::test
