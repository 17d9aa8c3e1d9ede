#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace quorlan::server {

// Counters and gauges of the running server. Written on the event loop, read
// by the admin thread; relaxed atomics are enough for monitoring figures.
struct Metrics {
    std::atomic<std::int64_t> connections{0};
    std::atomic<std::int64_t> boards{0};
    std::atomic<std::uint64_t> connectionsAccepted{0};
    std::atomic<std::uint64_t> connectionsRejected{0};
    std::atomic<std::uint64_t> malformedPackets{0};
    std::atomic<std::uint64_t> slowConsumersDropped{0};
    std::atomic<std::uint64_t> checksStarted{0};
    std::atomic<std::uint64_t> checksCompleted{0};
    std::atomic<std::uint64_t> checksTimedOut{0};
    std::atomic<std::uint64_t> baselinesRequested{0};
    std::atomic<std::uint64_t> postsForwarded{0};
    std::atomic<std::uint64_t> postDeliveries{0};
    // NewPost dropped, by reason: not from the client whose report made new
    // lines (or no such report), not one of the new lines (or none left of
    // it), or too long after the report.
    std::atomic<std::uint64_t> postsRefused{0};
    std::atomic<std::uint64_t> postsNotNew{0};
    std::atomic<std::uint64_t> postsLate{0};
    std::atomic<std::uint64_t> duplicatesDropped{0};
    std::atomic<std::uint64_t> connectionsRejectedPerAddress{0};
    // RequestPhone for a line the server did not forward to the board lately.
    std::atomic<std::uint64_t> alertsUnknownLine{0};
    // Password work refused by the limits per address or account, and work
    // dropped unstarted because its connection had closed.
    std::atomic<std::uint64_t> passwordWorkRefused{0};
    std::atomic<std::uint64_t> passwordWorkDropped{0};
    std::atomic<std::uint64_t> boardsRefused{0};
    std::atomic<std::uint64_t> identRefused{0};
    std::atomic<std::uint64_t> smsRelayed{0};
    std::atomic<std::uint64_t> smsRefused{0};
    std::atomic<std::uint64_t> loginsSucceeded{0};
    std::atomic<std::uint64_t> loginsFailed{0};
    std::atomic<std::uint64_t> accountsCreated{0};
    std::atomic<std::uint64_t> noticesSent{0};
    std::atomic<std::uint64_t> bytesIn{0};
    std::atomic<std::uint64_t> bytesOut{0};
    std::atomic<std::uint64_t> linesReplayed{0};

    // Figures labelled by board or host. Boards are dropped with the board;
    // hosts beyond kMaxHostSeries are counted together, so that clients
    // naming ever new hosts cannot grow the page without bound.
    static constexpr std::size_t kMaxHostSeries = 1000;
    void SetBoardFigures(const std::string& url, std::int64_t intervalMs, std::size_t checkers);
    void ForgetBoard(const std::string& url);
    void CountHostCheck(const std::string& host);

    // Prometheus text exposition format, version 0.0.4.
    std::string Render() const;

private:
    struct BoardFigures {
        std::int64_t intervalMs;
        std::size_t checkers;
    };
    mutable std::mutex labelledMutex_;
    std::map<std::string, BoardFigures> boardFigures_;
    std::map<std::string, std::uint64_t> hostChecks_;
};

} // namespace quorlan::server
