#pragma once
#include "IPeer.h"
#include "SmsLimiter.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace quorlan::server {

// The connections that send text messages for the others: logged in with an
// account the operator marked as relay, and in robot mode. Orders go to them
// in turn; alerts are limited per account.
class RelayPool {
public:
    enum class Refusal { None, NoRelay, SameLine, OverHourlyLimit };
    struct Order {
        std::optional<SessionId> relay;
        Refusal refusal = Refusal::None;
    };

    void Add(SessionId id) { relays_.insert(id); }
    void Remove(SessionId id) { relays_.erase(id); }
    bool Contains(SessionId id) const { return relays_.count(id) != 0; }
    std::size_t Size() const { return relays_.size(); }

    // The relay for an alert of the account, or why none is given.
    Order OrderAlert(const std::string& phone, std::string_view line, std::int64_t nowMs);
    // The relay for a message the server itself sends (identification numbers).
    std::optional<SessionId> Next();

private:
    std::set<SessionId> relays_;
    SessionId last_ = 0;
    SmsLimiter limiter_;
};

} // namespace quorlan::server
