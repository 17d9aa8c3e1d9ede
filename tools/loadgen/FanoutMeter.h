#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::loadgen {

// Post lines carry their sequence number in letters: the server compares
// lines with digits removed, so numbered lines would count as duplicates.
std::string PostLine(std::uint64_t sequence, std::size_t size);
// The sequence number of a line made by PostLine, or -1.
std::int64_t SequenceOf(std::string_view line);

// p-th percentile (0..100) by nearest rank; 0 for no samples.
double Percentile(std::vector<double> samples, double p);

// Counts the arrival of each post at each of the subscribers and tells when
// the last one has it.
class FanoutMeter {
public:
    using Clock = std::chrono::steady_clock;
    using Completed = std::function<void(std::uint64_t sequence, double latencyMs)>;

    FanoutMeter(std::size_t subscribers, Completed completed);
    void Sent(std::uint64_t sequence);
    void Received(std::int64_t sequence);
    std::uint64_t Deliveries() const { return deliveries_; }
    std::size_t InFlight() const { return inFlight_; }

private:
    std::size_t subscribers_;
    Completed completed_;
    std::vector<std::uint32_t> counts_;
    std::vector<Clock::time_point> sentAt_;
    std::uint64_t deliveries_ = 0;
    std::size_t inFlight_ = 0;
};

} // namespace quorlan::loadgen
