#include "AccountService.h"

#include "LockoutPolicy.h"
#include "LogText.h"
#include "PhoneNumber.h"
#include "base/Cp949.h"

#include <asio/post.hpp>
#include <sodium.h>
#include <spdlog/spdlog.h>

namespace quorlan::server {
namespace {

constexpr std::int64_t kHourMs = 3'600'000;
constexpr std::int64_t kDayMs = 24 * kHourMs;

} // namespace

AccountService::AccountService(asio::io_context& loop, AccountStore& store, PasswordHasher& hasher,
                               TrustRules& rules, const IClock& clock, Metrics& metrics, const ServerConfig& config)
    : loop_(loop), store_(store), hasher_(hasher), rules_(rules), clock_(clock), metrics_(metrics), config_(config) {
    // A hash of a random password with the same cost as the real ones.
    unsigned char secret[16];
    randombytes_buf(secret, sizeof secret);
    const std::string random(reinterpret_cast<const char*>(secret), sizeof secret);
    dummyHash_ = PasswordHasher::HashNow(random, config.hashOpsLimit, config.hashMemLimit).value_or("");
}

void AccountService::Finish(CodeDone done, std::uint32_t code) {
    asio::post(loop_, [done = std::move(done), code] { done(code); });
}

bool AccountService::AdmitWork(const Source& from, const std::string& phone, const char* what) {
    const auto work = rules_.AdmitPasswordWork(from.address, phone, clock_.SteadyMs());
    if (work == TrustRules::Work::Allowed) return true;
    metrics_.passwordWorkRefused.fetch_add(1, std::memory_order_relaxed);
    spdlog::info("{} from {} refused: {}", what, from.address, TrustRules::Describe(work));
    spdlog::debug("{} from {} refused for {}", what, from.address, phone);
    return false;
}

void AccountService::Login(const std::string& typedId, std::string password, const Source& from, LoginDone done) {
    const auto phone = CanonicalPhone(typedId);
    if (!phone || !AdmitWork(from, *phone, "login")) {
        // Whether the text is a phone number is no secret, nor are the
        // limits: answered at once.
        sodium_memzero(password.data(), password.size());
        metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
        asio::post(loop_, [done = std::move(done)] { done(std::nullopt); });
        return;
    }
    const auto account = store_.Find(*phone);
    const bool locked = account && account->lockedUntilMs > clock_.NowMs();
    if (locked) spdlog::debug("login to {} refused: account locked", *phone);
    // A phone without an account and a locked account still cost one hash
    // (against a dummy), so the time of the answer does not tell which phones
    // have accounts. A guess at a phone without an account counts against
    // its address like any wrong password.
    const bool checked = account && !locked;
    const std::string& hash = checked ? account->passwordHash : dummyHash_;
    hasher_.Verify(hash, std::move(password), from.owner,
                   [this, phone = *phone, address = from.address, checked, locked,
                    done = std::move(done)](PasswordHasher::Verdict verdict) {
                       rules_.PasswordWorkDone(address);
                       if (!checked) {
                           if (!locked && verdict != PasswordHasher::Verdict::Busy)
                               rules_.LoginFailed(address, clock_.SteadyMs());
                           metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
                           return done(std::nullopt);
                       }
                       FinishLogin(phone, address, verdict, done);
                   });
}

void AccountService::FinishLogin(const std::string& phone, const std::string& address,
                                 PasswordHasher::Verdict verdict, const LoginDone& done) {
    if (verdict == PasswordHasher::Verdict::Busy) {
        // Overload says nothing about the password: refused, not counted.
        spdlog::warn("login refused unchecked: too many passwords waiting");
        metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
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
        spdlog::debug("login to {} refused: account locked while the password was checked", phone);
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
    rules_.LoginFailed(address, clock_.SteadyMs());
    const int failures = current->failedLogins + 1;
    // Stored, so a restart does not lift it: wall clock.
    const std::int64_t lockedUntil =
        failures > LockoutPolicy::kFreeFailures ? LockoutPolicy::LockedUntil(failures, clock_.NowMs()) : 0;
    store_.RecordLoginFailure(phone, failures, lockedUntil);
    if (lockedUntil != 0) {
        spdlog::info("an account is locked for {} s after {} failed logins in a row",
                     LockoutPolicy::DelayAfter(failures) / 1000, failures);
        spdlog::debug("account {} locked", phone);
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
                                const Source& from, CodeDone done) {
    const auto phone = CanonicalPhone(typedId);
    if (!phone) {
        spdlog::debug("sign-up refused: \"{}\" is not a phone number", LogText(typedId));
        return Finish(std::move(done), 0);
    }
    if (password.empty()) {
        spdlog::debug("sign-up of {} refused: empty password", *phone);
        return Finish(std::move(done), 0);
    }
    if (!AdmitWork(from, *phone, "sign-up")) {
        sodium_memzero(password.data(), password.size());
        return Finish(std::move(done), 0);
    }
    const auto refuse = [&](const char* why) {
        rules_.PasswordWorkDone(from.address);
        sodium_memzero(password.data(), password.size());
        spdlog::info("sign-up refused: {}", why);
        spdlog::debug("sign-up of {} refused: {}", *phone, why);
        Finish(std::move(done), 0);
    };
    if (store_.Find(*phone)) return refuse("phone already has an account");
    if (!config_.openSignup && !CheckIdent(*phone, identNumber)) return refuse("identification number wrong or expired");
    hasher_.Hash(std::move(password), from.owner,
                 [this, phone = *phone, address = from.address, done = std::move(done)](std::optional<std::string> hash) {
                     rules_.PasswordWorkDone(address);
                     if (!hash || !store_.Create(phone, *hash, clock_.NowMs())) {
                         spdlog::debug("sign-up of {} failed", phone);
                         return done(0);
                     }
                     store_.DeleteIdent(phone);
                     metrics_.accountsCreated.fetch_add(1, std::memory_order_relaxed);
                     spdlog::info("account created");
                     spdlog::debug("account {} created", phone);
                     done(1);
                 });
}

void AccountService::ChangePassword(const std::string& phone, std::string current, std::string next,
                                    const Source& from, CodeDone done) {
    const auto account = store_.Find(phone);
    if (!account || next.empty() || !AdmitWork(from, phone, "password change")) {
        sodium_memzero(current.data(), current.size());
        sodium_memzero(next.data(), next.size());
        return Finish(std::move(done), 0);
    }
    hasher_.Verify(
        account->passwordHash, std::move(current), from.owner,
        [this, phone, from, next = std::move(next), done = std::move(done)](PasswordHasher::Verdict verdict) mutable {
            if (verdict != PasswordHasher::Verdict::Matches) {
                rules_.PasswordWorkDone(from.address);
                sodium_memzero(next.data(), next.size());
                if (verdict == PasswordHasher::Verdict::Busy) {
                    spdlog::warn("password change refused unchecked: too many passwords waiting");
                } else {
                    rules_.LoginFailed(from.address, clock_.SteadyMs());
                    spdlog::debug("password change of {} refused: wrong current password", phone);
                }
                return done(0);
            }
            hasher_.Hash(std::move(next), from.owner,
                         [this, phone, address = from.address, done = std::move(done)](std::optional<std::string> hash) {
                             rules_.PasswordWorkDone(address);
                             const bool stored = hash && store_.UpdatePassword(phone, *hash);
                             if (stored) spdlog::debug("password of {} changed", phone);
                             done(stored ? 1 : 0);
                         });
        });
}

bool AccountService::IsRelay(const std::string& phone) {
    const auto account = store_.Find(phone);
    return account && account->relay;
}

void AccountService::RememberRobotMode(const std::string& phone, bool on) {
    if (!store_.SetRobotMode(phone, on)) spdlog::warn("robot mode of an account not stored");
}

std::optional<AccountService::IdentMessage> AccountService::IssueIdentNumber(const std::string& typedId,
                                                                             const std::string& address) {
    const auto phone = CanonicalPhone(typedId);
    if (!phone) {
        spdlog::debug("identification number refused: \"{}\" is not a phone number", LogText(typedId));
        return std::nullopt;
    }
    if (store_.Find(*phone)) {
        spdlog::debug("identification number refused: {} already has an account", *phone);
        return std::nullopt;
    }
    const TrustLimits& limits = config_.trust;
    // Stored and counted on the wall clock: the caps hold across restarts.
    const std::int64_t now = clock_.NowMs();
    const auto refuse = [&](const char* why) {
        metrics_.identRefused.fetch_add(1, std::memory_order_relaxed);
        spdlog::info("identification number requested from {} refused: {}", address, why);
        return std::nullopt;
    };
    if (store_.IdentIssuesSince(AccountStore::IssuedBy::Phone, *phone, now - kDayMs) >= limits.identPerPhonePerDay)
        return refuse("the phone's daily limit is reached");
    if (store_.IdentIssuesSince(AccountStore::IssuedBy::Address, address, now - kHourMs) >=
        limits.identPerAddressPerHour)
        return refuse("the address's hourly limit is reached");
    if (store_.IdentIssuesSince(AccountStore::IssuedBy::Anyone, {}, now - kHourMs) >= config_.identPerHour)
        return refuse("the server's hourly limit is reached");
    const auto previous = store_.FindIdent(*phone);
    if (previous && now - previous->issuedMs < config_.identResendMs) return refuse("one was issued to the phone lately");
    store_.DeleteExpiredIdents(now);
    store_.DeleteIdentIssuesBefore(now - kDayMs);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06u", static_cast<unsigned>(randombytes_uniform(1'000'000)));
    // A new number does not restore the tries the phone has used up.
    IdentNumber ident{digits, now, now + config_.identValidityMs, previous ? previous->wrongTries : 0};
    if (!store_.StoreIdent(*phone, ident) || !store_.RecordIdentIssue(*phone, address, now)) return std::nullopt;
    return IdentMessage{*phone, ident.number, QUORLAN_CP949("[Quorlan] 인증번호 ") + ident.number};
}

} // namespace quorlan::server
