#include "FanoutMeter.h"

#include <algorithm>
#include <cmath>

namespace quorlan::loadgen {
namespace {

constexpr std::size_t kLetters = 7;
constexpr std::string_view kPrefix = "post-";

} // namespace

std::string PostLine(std::uint64_t sequence, std::size_t size) {
    std::string line(kPrefix);
    std::string letters(kLetters, 'a');
    for (std::size_t i = kLetters; i-- > 0; sequence /= 26) letters[i] = static_cast<char>('a' + sequence % 26);
    line += letters;
    line += ' ';
    if (line.size() < size) line.append(size - line.size(), 'x');
    return line;
}

std::int64_t SequenceOf(std::string_view line) {
    if (line.size() < kPrefix.size() + kLetters || line.substr(0, kPrefix.size()) != kPrefix) return -1;
    std::int64_t sequence = 0;
    for (std::size_t i = 0; i < kLetters; ++i) {
        const char c = line[kPrefix.size() + i];
        if (c < 'a' || c > 'z') return -1;
        sequence = sequence * 26 + (c - 'a');
    }
    return sequence;
}

double Percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(samples.size())));
    return samples[std::min(samples.size() - 1, rank == 0 ? 0 : rank - 1)];
}

FanoutMeter::FanoutMeter(std::size_t subscribers, Completed completed)
    : subscribers_(subscribers), completed_(std::move(completed)) {}

void FanoutMeter::Sent(std::uint64_t sequence) {
    if (sequence >= counts_.size()) {
        counts_.resize(sequence + 1, 0);
        sentAt_.resize(sequence + 1);
    }
    counts_[sequence] = 0;
    sentAt_[sequence] = Clock::now();
    ++inFlight_;
}

void FanoutMeter::Received(std::int64_t sequence) {
    if (sequence < 0 || static_cast<std::uint64_t>(sequence) >= counts_.size()) return;
    ++deliveries_;
    if (++counts_[sequence] != subscribers_) return;
    --inFlight_;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sentAt_[sequence]).count();
    completed_(static_cast<std::uint64_t>(sequence), ms);
}

} // namespace quorlan::loadgen
