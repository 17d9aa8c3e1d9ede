#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace quorlan::server {

// Every bound the server puts on what one client, one address or one account
// may cost it. The checks that use them are in TrustRules (in memory, steady
// clock) and in AccountStore's stored counts (sign-up numbers, account
// locks, wall clock). Millisecond lengths so that tests can shrink them.
struct TrustLimits {
    // Connections from one address at once; more are closed at accept.
    std::size_t maxPerAddress = 16;

    // Real memory of queued output (payload plus each packet's bookkeeping).
    // Past `readPauseOutput` the connection's requests are no longer read
    // until the client has taken its answers; past `maxQueuedOutput` it is
    // dropped as a slow consumer.
    std::size_t readPauseOutput = 64 * 1024;
    std::size_t maxQueuedOutput = 256 * 1024;

    // Password work (login, sign-up, password change): at once per address,
    // and attempts per minute per address and per account across addresses.
    std::size_t passwordsInFlightPerAddress = 2;
    std::size_t passwordsPerAddressPerMinute = 20;
    std::size_t passwordsPerAccountPerMinute = 10;

    // Failed logins from one address, whatever the account: the first ones
    // are free, then the address waits a doubling delay before its next try,
    // and past `addressStopAfter` it is refused for `addressStopMs`. Failures
    // are forgotten after `addressForgetMs` without one.
    int addressFreeFailures = 5;
    std::int64_t addressFirstDelayMs = 30'000;
    int addressStopAfter = 20;
    std::int64_t addressStopMs = 24 * 3'600'000LL;
    std::int64_t addressForgetMs = 24 * 3'600'000LL;

    // New boards (not set by the connection in the last hour) a connection
    // may introduce per hour, and board lists kept in the database.
    std::size_t boardsPerHour = 10;
    std::size_t maxBoards = 20'000;

    // Identification numbers per phone per day and per address per hour,
    // counted in the database, besides the server's hourly budget.
    std::size_t identPerPhonePerDay = 3;
    std::size_t identPerAddressPerHour = 3;

    // A `NewPost` counts only when its checker sends it this soon after the
    // report that made the line new.
    std::int64_t postWindowMs = 10'000;
    // `RequestPhone` only for a line forwarded to the board this recently.
    std::int64_t alertLineMs = 30 * 60'000;

    // Sign-up numbers appear in the log only when the operator asks (demos).
    bool logIdentNumbers = false;
};

} // namespace quorlan::server
