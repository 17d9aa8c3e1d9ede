// Detection latency with everything real (bench/latency.sh): the full loop
// brought to monitoring, then QUORLAN_E2E_ROUNDS timed rounds without text
// messages, each post coming at a random moment of the wait before the
// client's checking turn. Each round prints its road for the script.
#include "e2e/FullLoop.h"

#include "base/Cp949.h"

#include <cstdio>
#include <random>

namespace quorlan::test {
namespace {

// A title no other round has used: the comparison ignores digits and spaces,
// so rounds differ by letters.
std::string BenchTitle(int round) {
    std::string tag;
    for (int n = round;; n = n / 26 - 1) {
        tag.insert(tag.begin(), static_cast<char>('A' + n % 26));
        if (n < 26) break;
    }
    return "Bench" + tag + " 직거래";
}

TEST(LatencyBench, TimedRounds) {
    const int rounds = EnvInt("QUORLAN_E2E_ROUNDS", 5);
    FullLoop loop;
    loop.Start();
    if (HasFatalFailure()) return;
    const int periodSeconds = loop.PeriodSeconds();

    const unsigned randomStart = std::random_device{}();
    std::printf("[ e2e ] %d timed rounds, period %d s, random start %u\n", rounds, periodSeconds, randomStart);
    std::mt19937 random(randomStart);
    std::uniform_int_distribution<int> offsetMs(0, periodSeconds * 1000 - 1);
    for (int round = 1; round <= rounds; ++round) {
        const std::string title = BenchTitle(round);
        const std::optional<Road> road =
            loop.RunRoad(title, base::Cp949FromUtf8(title), std::chrono::milliseconds(offsetMs(random)));
        ASSERT_TRUE(road.has_value()) << "timed round " << round;
        PrintRoad("bench", round, *road);
    }
}

} // namespace
} // namespace quorlan::test
