#pragma once
#include <cstddef>
#include <cstdint>

namespace quorlan::server {

// What the operator decides about accounts: the cost of a password hash,
// whether anyone may sign up without an identification number, and the caps
// on issuing those numbers.
struct AccountOptions {
    // argon2id cost.
    unsigned long long hashOpsLimit = 0;
    std::size_t hashMemLimit = 0;
    bool openSignup = false;
    // Identification numbers per phone per day, per address per hour and for
    // the whole server per hour; how soon a phone gets another; how long one
    // is valid.
    std::size_t identPerPhonePerDay = 0;
    std::size_t identPerAddressPerHour = 0;
    std::size_t identPerHour = 0;
    std::int64_t identResendMs = 0;
    std::int64_t identValidityMs = 0;
};

} // namespace quorlan::server
