#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/accounts/AccountOptions.h"
#include "server/limits/TrustLimits.h"
#include "server/store/ReplayBuffer.h"

#include <sodium.h>

namespace quorlan::server {

// Everything the command line decides. Durations are milliseconds so tests
// can run checks in fractions of a second.
struct ServerConfig {
    std::string listenHost = "127.0.0.1";
    std::uint16_t listenPort = 3000;
    std::string databasePath = "quorlan.db";
    // Empty host: no admin endpoint.
    std::string adminHost = "127.0.0.1";
    std::uint16_t adminPort = 3001;

    // The politeness floor: no board is checked more often, whatever its
    // clients' budgets allow.
    std::chrono::milliseconds minInterval{60'000};
    // Checks of the boards of one host are at least this far apart; 0 means
    // the same as minInterval.
    std::chrono::milliseconds siteInterval{0};
    std::chrono::milliseconds checkTimeout{30'000};
    bool openSignup = false;
    std::size_t maxConnections = 10'000;

    // What one client, address or account may cost; see TrustLimits.
    TrustLimits trust;
    // The operator's bearer token for the admin endpoint's POST requests;
    // created with a random token when missing. Empty: beside the database,
    // as DATABASE.admin-token.
    std::string adminTokenFile;
    // A connection must complete its first packet, and any packet it starts,
    // within this time.
    std::chrono::milliseconds packetTimeout{60'000};
    // 0 keeps the system default; tests shrink it to reach the output bound
    // without megabytes of kernel buffers.
    int socketSendBuffer = 0;

    // argon2id cost; the interactive limits unless a test asks for less.
    unsigned long long hashOpsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
    std::size_t hashMemLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;

    std::int64_t identValidityMs = 10 * 60'000;
    // A phone gets a new identification number at most this often.
    std::int64_t identResendMs = 60'000;
    // Identification numbers the whole server issues per hour at most (each
    // one is a text message).
    std::size_t identPerHour = 100;
    // Lines remembered per board against duplicates, and for how long.
    std::size_t duplicateMemory = 2048;
    std::int64_t duplicateMaxAgeMs = 6 * 3'600'000;
    // Post lines kept for an account that is away from its board.
    std::int64_t replayMaxAgeMs = 30 * 60'000;
    std::size_t replayMaxLines = 50;
    std::size_t replayMaxAccounts = 10'000;

    // Cluster mode: a libpq connection string shared by every instance (empty:
    // the single process), this instance's name, and how soon the boards of a
    // dead instance are taken over.
    std::string postgres;
    std::string nodeId;
    std::int64_t takeoverMs = 10'000;

    AccountOptions Accounts() const {
        return {hashOpsLimit,          hashMemLimit,  openSignup,    trust.identPerPhonePerDay,
                trust.identPerAddressPerHour, identPerHour, identResendMs, identValidityMs};
    }
    ReplayBuffer::Limits Replay() const { return {replayMaxAgeMs, replayMaxLines, replayMaxAccounts}; }
};

} // namespace quorlan::server
