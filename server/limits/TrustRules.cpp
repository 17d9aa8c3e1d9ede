#include "TrustRules.h"

#include <algorithm>

namespace quorlan::server {
namespace {

constexpr std::int64_t kMinuteMs = 60'000;
constexpr std::int64_t kSweepEveryMs = 60'000;

} // namespace

TrustRules::AddressState& TrustRules::Address(const std::string& address) {
    return addresses_.try_emplace(address, limits_).first->second;
}

bool TrustRules::AdmitConnection(const std::string& address) {
    AddressState& state = Address(address);
    if (state.connections >= limits_.maxPerAddress) return false;
    ++state.connections;
    return true;
}

void TrustRules::ConnectionClosed(const std::string& address) {
    auto it = addresses_.find(address);
    if (it != addresses_.end() && it->second.connections > 0) --it->second.connections;
}

std::size_t TrustRules::Connections(const std::string& address) const {
    auto it = addresses_.find(address);
    return it == addresses_.end() ? 0 : it->second.connections;
}

TrustRules::Work TrustRules::AdmitPasswordWork(const std::string& address, const std::string& account,
                                               std::int64_t nowMs) {
    Sweep(nowMs);
    AddressState& state = Address(address);
    if (state.lockedUntilMs > nowMs) return Work::AddressLocked;
    if (state.inFlight >= limits_.passwordsInFlightPerAddress) return Work::AddressBusy;
    if (state.attempts.Full(nowMs)) return Work::AddressRate;
    if (!account.empty()) {
        auto& perAccount =
            accounts_.try_emplace(account, limits_.passwordsPerAccountPerMinute, kMinuteMs).first->second;
        if (perAccount.Full(nowMs)) return Work::AccountRate;
        perAccount.Record(nowMs);
    }
    state.attempts.Record(nowMs);
    ++state.inFlight;
    return Work::Allowed;
}

void TrustRules::PasswordWorkDone(const std::string& address) {
    auto it = addresses_.find(address);
    if (it != addresses_.end() && it->second.inFlight > 0) --it->second.inFlight;
}

void TrustRules::LoginFailed(const std::string& address, std::int64_t nowMs) {
    AddressState& state = Address(address);
    if (state.failures > 0 && nowMs - state.lastFailureMs > limits_.addressForgetMs) state.failures = 0;
    ++state.failures;
    state.lastFailureMs = nowMs;
    if (state.failures >= limits_.addressStopAfter) {
        state.lockedUntilMs = nowMs + limits_.addressStopMs;
    } else if (state.failures > limits_.addressFreeFailures) {
        std::int64_t delay = limits_.addressFirstDelayMs;
        for (int n = limits_.addressFreeFailures + 1; n < state.failures && delay < limits_.addressStopMs; ++n)
            delay *= 2;
        state.lockedUntilMs = nowMs + std::min(delay, limits_.addressStopMs);
    }
}

std::int64_t TrustRules::AddressFreeAt(const std::string& address, std::int64_t nowMs) {
    auto it = addresses_.find(address);
    return it == addresses_.end() ? nowMs : std::max(nowMs, it->second.lockedUntilMs);
}

void TrustRules::Sweep(std::int64_t nowMs) {
    if (nowMs - lastSweepMs_ < kSweepEveryMs) return;
    lastSweepMs_ = nowMs;
    for (auto it = addresses_.begin(); it != addresses_.end();) {
        AddressState& s = it->second;
        const bool failuresLive = s.failures > 0 && nowMs - s.lastFailureMs <= limits_.addressForgetMs;
        const bool idle = s.connections == 0 && s.inFlight == 0 && s.lockedUntilMs <= nowMs && !failuresLive &&
                          s.attempts.Empty(nowMs);
        it = idle ? addresses_.erase(it) : std::next(it);
    }
    for (auto it = accounts_.begin(); it != accounts_.end();) it = it->second.Empty(nowMs) ? accounts_.erase(it) : std::next(it);
}

bool TrustRules::AdmitBoard(std::vector<RecentBoard>& recent, const std::string& url, std::int64_t nowMs) const {
    std::erase_if(recent, [&](const RecentBoard& b) { return nowMs - b.atMs >= 60 * kMinuteMs; });
    auto known = std::find_if(recent.begin(), recent.end(), [&](const RecentBoard& b) { return b.url == url; });
    if (known != recent.end()) {
        known->atMs = nowMs;
        return true;
    }
    if (recent.size() >= limits_.boardsPerHour) return false;
    recent.push_back(RecentBoard{url, nowMs});
    return true;
}

const char* TrustRules::Describe(Work work) {
    switch (work) {
    case Work::Allowed: return "allowed";
    case Work::AddressBusy: return "this address already has passwords being checked";
    case Work::AddressRate: return "too many password attempts from this address";
    case Work::AccountRate: return "too many password attempts on this account";
    case Work::AddressLocked: return "this address failed too many logins";
    }
    return "?";
}

} // namespace quorlan::server
