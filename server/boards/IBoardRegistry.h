#pragma once
#include "server/common/IPeer.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorlan::server {

// Which clients watch which board, each client's interval, last post list and
// recently forwarded lines. Behind an interface so that boards can later be
// spread over several server instances through a shared store.
class IBoardRegistry {
public:
    virtual ~IBoardRegistry() = default;

    // Registers the client on `url` with the interval it asked for, leaving
    // any other board. Returns the board it left, or "" when none.
    virtual std::string Join(SessionId id, const std::string& url, std::chrono::milliseconds interval,
                             bool monitoring) = 0;
    // Returns the board the client left, or "" when it had none.
    virtual std::string Leave(SessionId id) = 0;
    // Returns the client's board, or "" when it has none yet.
    virtual std::string SetMonitoring(SessionId id, bool monitoring) = 0;
    // Valid until the client's board changes.
    virtual const std::string& BoardOf(SessionId id) const = 0;
    // A board exists while at least one client is registered on it.
    virtual bool Exists(const std::string& url) const = 0;

    virtual std::size_t MonitoringCount(const std::string& url) const = 0;
    virtual bool IsMonitoring(const std::string& url, SessionId id) const = 0;
    virtual void ForEachMonitoring(const std::string& url, const std::function<void(SessionId)>& f) const = 0;
    virtual void ForEachMember(const std::string& url, const std::function<void(SessionId)>& f) const = 0;

    // The interval the client asked for: its reload budget. Zero when it is
    // not registered on the board.
    virtual std::chrono::milliseconds Interval(const std::string& url, SessionId id) const = 0;

    // True while the board's stored list is still being read. Until then
    // nothing is known of its list: the board is neither bootstrapped nor
    // checked; its registry tells the scheduler once the list is in.
    virtual bool ListLoading(const std::string& url) const = 0;
    virtual std::optional<std::string> LastList(const std::string& url) const = 0;
    virtual void StoreList(const std::string& url, const std::string& list) = 0;
    // True the first time a line (in normalised form) is offered for the board
    // recently; later offers are duplicates.
    virtual bool FirstSighting(const std::string& url, std::string_view line) = 0;
    // Whether exactly this line was forwarded to the board within `withinMs`.
    virtual bool Forwarded(const std::string& url, const std::string& line, std::int64_t withinMs) const = 0;

    virtual std::size_t BoardCount() const = 0;
};

} // namespace quorlan::server
