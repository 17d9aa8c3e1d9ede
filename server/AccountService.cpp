#include "AccountService.h"

#include "LockoutPolicy.h"
#include "LogText.h"
#include "PhoneNumber.h"
#include "net/Cp949.h"

#include <asio/post.hpp>
#include <sodium.h>
#include <spdlog/spdlog.h>

namespace quorlan::server {

AccountService::AccountService(asio::io_context& loop, AccountStore& store, PasswordHasher& hasher,
                               const IClock& clock, Metrics& metrics, const ServerConfig& config)
    : loop_(loop), store_(store), hasher_(hasher), clock_(clock), metrics_(metrics), config_(config) {
    // A hash of a random password with the same cost as the real ones.
    unsigned char secret[16];
    randombytes_buf(secret, sizeof secret);
    const std::string random(reinterpret_cast<const char*>(secret), sizeof secret);
    dummyHash_ = PasswordHasher::HashNow(random, config.hashOpsLimit, config.hashMemLimit).value_or("");
}

void AccountService::Finish(CodeDone done, std::uint32_t code) {
    asio::post(loop_, [done = std::move(done), code] { done(code); });
}

void AccountService::Login(const std::string& typedId, std::string password, LoginDone done) {
    const auto phone = CanonicalPhone(typedId);
    if (!phone) {
        // Whether the text is a phone number is no secret: answered at once.
        metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
        asio::post(loop_, [done = std::move(done)] { done(std::nullopt); });
        return;
    }
    const auto account = store_.Find(*phone);
    const bool locked = account && account->lockedUntilMs > clock_.NowMs();
    if (locked) spdlog::info("login to {} refused: account locked", *phone);
    // A phone without an account and a locked account still cost one hash
    // (against a dummy), so the time of the answer does not tell which phones
    // have accounts. Neither records a failure.
    const bool checked = account && !locked;
    const std::string& hash = checked ? account->passwordHash : dummyHash_;
    hasher_.Verify(hash, std::move(password),
                   [this, phone = *phone, checked, done = std::move(done)](PasswordHasher::Verdict verdict) {
                       if (!checked) {
                           metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
                           return done(std::nullopt);
                       }
                       FinishLogin(phone, verdict, done);
                   });
}

void AccountService::FinishLogin(const std::string& phone, PasswordHasher::Verdict verdict, const LoginDone& done) {
    if (verdict == PasswordHasher::Verdict::Busy) {
        // Overload says nothing about the password: refused, not counted.
        spdlog::warn("login to {} refused unchecked: too many passwords waiting", phone);
        return done(std::nullopt);
    }
    // Read again: another connection may have failed or succeeded meanwhile.
    auto current = store_.Find(phone);
    if (!current) {
        metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
        return done(std::nullopt);
    }
    if (current->lockedUntilMs > clock_.NowMs()) {
        // Guesses checked alongside this one locked the account meanwhile; a
        // right guess among them must not get in, nor lift the lock.
        spdlog::info("login to {} refused: account locked while the password was checked", phone);
        metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
        return done(std::nullopt);
    }
    if (verdict == PasswordHasher::Verdict::Matches) {
        if (current->failedLogins != 0) store_.ClearLoginFailures(phone);
        current->failedLogins = 0;
        current->lockedUntilMs = 0;
        metrics_.loginsSucceeded.fetch_add(1, std::memory_order_relaxed);
        return done(current);
    }
    const int failures = current->failedLogins + 1;
    const std::int64_t lockedUntil =
        failures > LockoutPolicy::kFreeFailures ? LockoutPolicy::LockedUntil(failures, clock_.NowMs()) : 0;
    store_.RecordLoginFailure(phone, failures, lockedUntil);
    if (lockedUntil == LockoutPolicy::kForever) {
        spdlog::warn("account {} locked until the operator unlocks it ({} failed logins in a row)", phone, failures);
    } else if (lockedUntil != 0) {
        spdlog::info("account {} locked for {} s after {} failed logins in a row", phone,
                     LockoutPolicy::DelayAfter(failures) / 1000, failures);
    }
    metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
    done(std::nullopt);
}

bool AccountService::CheckIdent(const std::string& phone, const std::string& number) {
    const auto ident = store_.FindIdent(phone);
    if (!ident || ident->expiresMs <= clock_.NowMs() || ident->wrongTries >= kIdentTries) return false;
    if (ident->number.size() != number.size() ||
        sodium_memcmp(ident->number.data(), number.data(), number.size()) != 0) {
        // A six-digit number must not be guessable by trying them all.
        store_.CountWrongIdent(phone);
        return false;
    }
    return true;
}

void AccountService::NewAccount(const std::string& typedId, std::string password, const std::string& identNumber,
                                CodeDone done) {
    const auto phone = CanonicalPhone(typedId);
    if (!phone) {
        spdlog::info("sign-up refused: \"{}\" is not a phone number", LogText(typedId));
        return Finish(std::move(done), 0);
    }
    if (password.empty()) {
        spdlog::info("sign-up of {} refused: empty password", *phone);
        return Finish(std::move(done), 0);
    }
    if (store_.Find(*phone)) {
        spdlog::info("sign-up of {} refused: phone already has an account", *phone);
        return Finish(std::move(done), 0);
    }
    if (!config_.openSignup && !CheckIdent(*phone, identNumber)) {
        spdlog::info("sign-up of {} refused: identification number wrong or expired", *phone);
        return Finish(std::move(done), 0);
    }
    hasher_.Hash(std::move(password), [this, phone = *phone, done = std::move(done)](std::optional<std::string> hash) {
        if (!hash || !store_.Create(phone, *hash, clock_.NowMs())) {
            spdlog::info("sign-up of {} failed", phone);
            return done(0);
        }
        store_.DeleteIdent(phone);
        metrics_.accountsCreated.fetch_add(1, std::memory_order_relaxed);
        spdlog::info("account {} created", phone);
        done(1);
    });
}

void AccountService::ChangePassword(const std::string& phone, std::string current, std::string next,
                                    CodeDone done) {
    const auto account = store_.Find(phone);
    if (!account || next.empty()) return Finish(std::move(done), 0);
    hasher_.Verify(account->passwordHash, std::move(current),
                   [this, phone, next = std::move(next), done = std::move(done)](
                       PasswordHasher::Verdict verdict) mutable {
                       if (verdict != PasswordHasher::Verdict::Matches) {
                           sodium_memzero(next.data(), next.size());
                           if (verdict == PasswordHasher::Verdict::Busy) {
                               spdlog::warn("password change of {} refused unchecked: too many passwords waiting",
                                            phone);
                           } else {
                               spdlog::info("password change of {} refused: wrong current password", phone);
                           }
                           return done(0);
                       }
                       hasher_.Hash(std::move(next), [this, phone, done = std::move(done)](
                                                         std::optional<std::string> hash) {
                           const bool stored = hash && store_.UpdatePassword(phone, *hash);
                           if (stored) spdlog::info("password of {} changed", phone);
                           done(stored ? 1 : 0);
                       });
                   });
}

bool AccountService::IsRelay(const std::string& phone) {
    const auto account = store_.Find(phone);
    return account && account->relay;
}

void AccountService::RememberRobotMode(const std::string& phone, bool on) {
    if (!store_.SetRobotMode(phone, on)) spdlog::warn("robot mode of {} not stored", phone);
}

std::optional<AccountService::IdentMessage> AccountService::IssueIdentNumber(const std::string& typedId) {
    const auto phone = CanonicalPhone(typedId);
    if (!phone) {
        spdlog::info("identification number refused: \"{}\" is not a phone number", LogText(typedId));
        return std::nullopt;
    }
    if (store_.Find(*phone)) {
        spdlog::info("identification number refused: {} already has an account", *phone);
        return std::nullopt;
    }
    const std::int64_t now = clock_.NowMs();
    store_.DeleteExpiredIdents(now);
    if (const auto previous = store_.FindIdent(*phone); previous && now - previous->issuedMs < config_.identResendMs) {
        spdlog::info("identification number for {} refused: one was issued {} s ago", *phone,
                     (now - previous->issuedMs) / 1000);
        return std::nullopt;
    }
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06u", static_cast<unsigned>(randombytes_uniform(1'000'000)));
    IdentNumber ident{digits, now, now + config_.identValidityMs, 0};
    if (!store_.StoreIdent(*phone, ident)) return std::nullopt;
    return IdentMessage{*phone, ident.number, QUORLAN_CP949("[Quorlan] 인증번호 ") + ident.number};
}

} // namespace quorlan::server
