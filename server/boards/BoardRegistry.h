#pragma once
#include "DuplicateFilter.h"
#include "IBoardRegistry.h"
#include "server/common/Clock.h"
#include "server/store/StoreWorker.h"

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace quorlan::server {

// The board registry of a single server: everything in memory, post lists
// written through to the store and read back, on the store's worker, when a
// board reappears.
class BoardRegistry final : public IBoardRegistry {
public:
    struct Limits {
        std::size_t duplicateMemory = 2048;
        std::int64_t duplicateMaxAgeMs = 6 * 3'600'000;
        // Board lists kept in the database; the least recently checked go first.
        std::size_t maxBoards = 20'000;
    };
    // `loaded` hears of each board whose stored list has been read, found or
    // not, while the board is still there.
    using Loaded = std::function<void(const std::string& url)>;
    BoardRegistry(StoreWorker& store, const IClock& clock, Limits limits, Loaded loaded);

    std::string Join(SessionId id, const std::string& url, std::chrono::milliseconds interval,
                     bool monitoring) override;
    std::string Leave(SessionId id) override;
    std::string SetMonitoring(SessionId id, bool monitoring) override;
    const std::string& BoardOf(SessionId id) const override;
    bool Exists(const std::string& url) const override { return FindBoard(url) != nullptr; }
    std::size_t MonitoringCount(const std::string& url) const override;
    bool IsMonitoring(const std::string& url, SessionId id) const override;
    void ForEachMonitoring(const std::string& url, const std::function<void(SessionId)>& f) const override;
    void ForEachMember(const std::string& url, const std::function<void(SessionId)>& f) const override;
    std::chrono::milliseconds Interval(const std::string& url, SessionId id) const override;
    bool ListLoading(const std::string& url) const override;
    std::optional<std::string> LastList(const std::string& url) const override;
    void StoreList(const std::string& url, const std::string& list) override;
    bool FirstSighting(const std::string& url, std::string_view line) override;
    bool Forwarded(const std::string& url, const std::string& line, std::int64_t withinMs) const override;
    std::size_t BoardCount() const override { return boards_.size(); }

private:
    struct Board {
        explicit Board(const Limits& limits) : recent(limits.duplicateMemory, limits.duplicateMaxAgeMs) {}
        struct Member {
            std::chrono::milliseconds interval;
            std::size_t slot; // its place in `monitoring`, or kNotMonitoring
        };
        static constexpr std::size_t kNotMonitoring = SIZE_MAX;
        // Whether the member is in `monitoring`: kept in one place for the
        // fan-out, each change O(1).
        void Monitor(SessionId id, Member& member, bool on);
        std::unordered_map<SessionId, Member> members;
        std::vector<SessionId> monitoring;
        std::optional<std::string> list;
        std::uint64_t reading = 0; // the read of its stored list under way, 0 once done
        DuplicateFilter recent;
    };
    const Board* FindBoard(const std::string& url) const;
    // The read `reading` of the board's stored list has come back.
    void ListRead(const std::string& url, std::uint64_t reading, std::optional<std::string> list);

    StoreWorker& store_;
    const IClock& clock_;
    Limits limits_;
    Loaded loaded_;
    std::uint64_t lastReading_ = 0;
    std::unordered_map<std::string, Board> boards_;
    std::unordered_map<SessionId, std::string> boardOf_;
};

} // namespace quorlan::server
