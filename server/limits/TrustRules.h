#pragma once
#include "RateWindow.h"
#include "TrustLimits.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorlan::server {

// The in-memory checks on what one address or one account may cost the
// server: connections per address, password work per address and per account,
// and the slow-down and stop of an address that keeps failing logins. All
// times are steady milliseconds. Entries that no longer hold anything are
// forgotten now and then, so the tables stay as small as the live state.
class TrustRules {
public:
    explicit TrustRules(const TrustLimits& limits) : limits_(limits) {}

    // False when the address already has its share of connections.
    bool AdmitConnection(const std::string& address);
    void ConnectionClosed(const std::string& address);
    std::size_t Connections(const std::string& address) const;

    enum class Work { Allowed, AddressBusy, AddressRate, AccountRate, AddressLocked };
    // Whether a password may be checked or hashed now for this address (and
    // account, when known: "" for none). An allowed one is counted and must
    // be followed by PasswordWorkDone.
    Work AdmitPasswordWork(const std::string& address, const std::string& account, std::int64_t nowMs);
    void PasswordWorkDone(const std::string& address);

    // A failed login from the address, of any account.
    void LoginFailed(const std::string& address, std::int64_t nowMs);
    // When the address may try again (<= nowMs: now).
    std::int64_t AddressFreeAt(const std::string& address, std::int64_t nowMs);

    static const char* Describe(Work work);

    // Whether a connection that set `recent` boards may set `url` now: one it
    // set within the hour always, a new one only below the hourly limit.
    // Records it when admitted.
    struct RecentBoard {
        std::string url;
        std::int64_t atMs = 0;
    };
    bool AdmitBoard(std::vector<RecentBoard>& recent, const std::string& url, std::int64_t nowMs) const;

private:
    struct AddressState {
        explicit AddressState(const TrustLimits& limits) : attempts(limits.passwordsPerAddressPerMinute, 60'000) {}
        std::size_t connections = 0;
        std::size_t inFlight = 0;
        RateWindow attempts;
        int failures = 0;
        std::int64_t lastFailureMs = 0;
        std::int64_t lockedUntilMs = 0;
    };
    AddressState& Address(const std::string& address);
    void Sweep(std::int64_t nowMs);

    const TrustLimits& limits_;
    std::unordered_map<std::string, AddressState> addresses_;
    std::unordered_map<std::string, RateWindow> accounts_;
    std::int64_t lastSweepMs_ = 0;
};

} // namespace quorlan::server
