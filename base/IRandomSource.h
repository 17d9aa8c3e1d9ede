#pragma once

namespace quorlan::base {

// Random numbers: the window shake's moves and the reconnect timer's jitter.
// The real one is seeded from the clock; tests give fixed sequences.
class IRandomSource {
public:
    virtual ~IRandomSource() = default;
    // An integer in 0 .. bound - 1.
    virtual int Next(int bound) = 0;
    virtual void Reseed() = 0;
};

} // namespace quorlan::base
