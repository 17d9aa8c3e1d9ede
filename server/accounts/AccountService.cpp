#include "AccountService.h"

#include "PhoneNumber.h"
#include "base/Cp949.h"
#include "server/common/LogText.h"
#include "server/limits/LockoutPolicy.h"

#include <asio/post.hpp>
#include <sodium.h>
#include <spdlog/spdlog.h>

namespace quorlan::server {
namespace {

constexpr std::int64_t kHourMs = 3'600'000;
constexpr std::int64_t kDayMs = 24 * kHourMs;

// What the second look at an account found once its password was checked.
struct LoginOutcome {
    std::optional<Account> account; // logged in
    bool lockedMeanwhile = false;
    int failures = 0; // counted, the password being wrong
    std::int64_t lockedUntilMs = 0;
};

struct IdentIssue {
    std::optional<IdentNumber> ident;
    bool hasAccount = false;
    const char* refused = nullptr; // the cap that stopped it
};

IdentIssue IssueIdent(IAccountStore& store, const std::string& phone, const std::string& address, const AccountOptions& caps,
                      std::int64_t now) {
    IdentIssue issue;
    if (store.Find(phone)) {
        issue.hasAccount = true;
        return issue;
    }
    using By = IAccountStore::IssuedBy;
    if (store.IdentIssuesSince(By::Phone, phone, now - kDayMs) >= caps.identPerPhonePerDay) {
        issue.refused = "the phone's daily limit is reached";
    } else if (store.IdentIssuesSince(By::Address, address, now - kHourMs) >= caps.identPerAddressPerHour) {
        issue.refused = "the address's hourly limit is reached";
    } else if (store.IdentIssuesSince(By::Anyone, {}, now - kHourMs) >= caps.identPerHour) {
        issue.refused = "the server's hourly limit is reached";
    }
    if (issue.refused) return issue;
    const auto previous = store.FindIdent(phone);
    if (previous && now - previous->issuedMs < caps.identResendMs) {
        issue.refused = "one was issued to the phone lately";
        return issue;
    }
    store.DeleteExpiredIdents(now);
    store.DeleteIdentIssuesBefore(now - kDayMs);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06u", static_cast<unsigned>(randombytes_uniform(1'000'000)));
    // A new number does not restore the tries the phone has used up.
    IdentNumber ident{digits, now, now + caps.identValidityMs, previous ? previous->wrongTries : 0};
    if (store.StoreIdent(phone, ident) && store.RecordIdentIssue(phone, address, now)) issue.ident = std::move(ident);
    return issue;
}

void Wipe(std::string& secret) {
    sodium_memzero(secret.data(), secret.size());
}

} // namespace

AccountService::AccountService(asio::io_context& loop, StoreWorker& store, PasswordHasher& hasher, TrustRules& rules,
                               const IClock& clock, Metrics& metrics, const AccountOptions& options)
    : loop_(loop), store_(store), hasher_(hasher), rules_(rules), clock_(clock), metrics_(metrics), options_(options) {
    // A hash of a random password with the same cost as the real ones.
    unsigned char secret[16];
    randombytes_buf(secret, sizeof secret);
    const std::string random(reinterpret_cast<const char*>(secret), sizeof secret);
    dummyHash_ = PasswordHasher::HashNow(random, options.hashOpsLimit, options.hashMemLimit).value_or("");
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
        Wipe(password);
        metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
        asio::post(loop_, [done = std::move(done)] { done(std::nullopt); });
        return;
    }
    store_.Run([phone = *phone](IStore& store) { return store.Accounts().Find(phone); },
               [this, phone = *phone, password = std::move(password), from,
                done = std::move(done)](std::optional<Account> account) mutable {
                   const bool locked = account && account->lockedUntilMs > clock_.NowMs();
                   if (locked) spdlog::debug("login to {} refused: account locked", phone);
                   // A phone without an account and a locked account still
                   // cost one hash (against a dummy), so the time of the answer
                   // does not tell which phones have accounts. A guess at a
                   // phone without an account counts against its address like
                   // any wrong password.
                   const bool checked = account && !locked;
                   const std::string& hash = checked ? account->passwordHash : dummyHash_;
                   hasher_.Verify(hash, std::move(password), from.owner,
                                  [this, phone, address = from.address, checked, locked,
                                   done = std::move(done)](PasswordHasher::Verdict verdict) mutable {
                                      rules_.PasswordWorkDone(address);
                                      if (!checked) {
                                          if (!locked && verdict != PasswordHasher::Verdict::Busy)
                                              rules_.LoginFailed(address, clock_.SteadyMs());
                                          metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
                                          return done(std::nullopt);
                                      }
                                      FinishLogin(phone, address, verdict, std::move(done));
                                  });
               });
}

void AccountService::FinishLogin(const std::string& phone, const std::string& address, PasswordHasher::Verdict verdict,
                                 LoginDone done) {
    if (verdict == PasswordHasher::Verdict::Busy) {
        // Overload says nothing about the password: refused, not counted.
        spdlog::warn("login refused unchecked: too many passwords waiting");
        metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
        return done(std::nullopt);
    }
    const bool matches = verdict == PasswordHasher::Verdict::Matches;
    store_.Run(
        [phone, matches, now = clock_.NowMs()](IStore& store) {
            IAccountStore& accounts = store.Accounts();
            LoginOutcome outcome;
            // Read again: another connection may have failed or succeeded meanwhile.
            auto current = accounts.Find(phone);
            if (!current) return outcome;
            if (current->lockedUntilMs > now) {
                // Guesses checked alongside this one locked the account
                // meanwhile; a right guess among them must not get in, nor
                // lift the lock.
                outcome.lockedMeanwhile = true;
                return outcome;
            }
            if (matches) {
                if (current->failedLogins != 0) accounts.ClearLoginFailures(phone);
                current->failedLogins = 0;
                current->lockedUntilMs = 0;
                outcome.account = std::move(current);
                return outcome;
            }
            outcome.failures = current->failedLogins + 1;
            // Stored, so a restart does not lift it: wall clock.
            outcome.lockedUntilMs =
                outcome.failures > LockoutPolicy::kFreeFailures ? LockoutPolicy::LockedUntil(outcome.failures, now) : 0;
            accounts.RecordLoginFailure(phone, outcome.failures, outcome.lockedUntilMs);
            return outcome;
        },
        [this, phone, address, done = std::move(done)](LoginOutcome outcome) {
            if (outcome.account) {
                metrics_.loginsSucceeded.fetch_add(1, std::memory_order_relaxed);
                return done(std::move(outcome.account));
            }
            if (outcome.lockedMeanwhile)
                spdlog::debug("login to {} refused: account locked while the password was checked", phone);
            if (outcome.failures != 0) rules_.LoginFailed(address, clock_.SteadyMs());
            if (outcome.lockedUntilMs != 0) {
                spdlog::info("an account is locked for {} s after {} failed logins in a row",
                             LockoutPolicy::DelayAfter(outcome.failures) / 1000, outcome.failures);
                spdlog::debug("account {} locked", phone);
            }
            metrics_.loginsFailed.fetch_add(1, std::memory_order_relaxed);
            done(std::nullopt);
        });
}

bool AccountService::CheckIdent(IAccountStore& store, const std::string& phone, const std::string& number,
                                std::int64_t nowMs) {
    const auto ident = store.FindIdent(phone);
    if (!ident || ident->expiresMs <= nowMs || ident->wrongTries >= kIdentTries) return false;
    if (ident->number.size() != number.size() ||
        sodium_memcmp(ident->number.data(), number.data(), number.size()) != 0) {
        // A six-digit number must not be guessable by trying them all.
        store.CountWrongIdent(phone);
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
        Wipe(password);
        return Finish(std::move(done), 0);
    }
    store_.Run(
        [phone = *phone, identNumber, open = options_.openSignup, now = clock_.NowMs()](IStore& store) -> const char* {
            if (store.Accounts().Find(phone)) return "phone already has an account";
            if (!open && !CheckIdent(store.Accounts(), phone, identNumber, now))
                return "identification number wrong or expired";
            return nullptr;
        },
        [this, request = Request{*phone, from, std::move(done)}, password = std::move(password)](
            const char* refused) mutable { SignUpChecked(std::move(request), std::move(password), refused); });
}

void AccountService::SignUpChecked(Request request, std::string password, const char* refused) {
    if (refused) {
        rules_.PasswordWorkDone(request.from.address);
        Wipe(password);
        spdlog::info("sign-up refused: {}", refused);
        spdlog::debug("sign-up of {} refused: {}", request.phone, refused);
        return request.done(0);
    }
    HashThen(std::move(request), std::move(password), &AccountService::SignUpHashed);
}

void AccountService::HashThen(Request request, std::string password, HashedStep next) {
    const PasswordHasher::Owner owner = request.from.owner;
    hasher_.Hash(std::move(password), owner,
                 [this, request = std::move(request), next](std::optional<std::string> hash) mutable {
                     rules_.PasswordWorkDone(request.from.address);
                     if (!hash) {
                         spdlog::debug("password for {} not hashed", request.phone);
                         return request.done(0);
                     }
                     (this->*next)(std::move(request), std::move(*hash));
                 });
}

void AccountService::SignUpHashed(Request request, std::string hash) {
    std::string phone = request.phone; // the arguments below are built in any order
    store_.Run(
        [phone = std::move(phone), hash = std::move(hash), now = clock_.NowMs()](IStore& store) {
            if (!store.Accounts().Create(phone, hash, now)) return false;
            store.Accounts().DeleteIdent(phone);
            return true;
        },
        [this, request = std::move(request)](bool created) {
            if (!created) {
                spdlog::debug("sign-up of {} failed", request.phone);
                return request.done(0);
            }
            metrics_.accountsCreated.fetch_add(1, std::memory_order_relaxed);
            spdlog::info("account created");
            spdlog::debug("account {} created", request.phone);
            request.done(1);
        });
}

void AccountService::ChangePassword(const std::string& phone, std::string current, std::string next,
                                    const Source& from, CodeDone done) {
    store_.Run([phone](IStore& store) { return store.Accounts().Find(phone); },
               [this, request = Request{phone, from, std::move(done)}, current = std::move(current),
                next = std::move(next)](std::optional<Account> account) mutable {
                   ChangeFound(std::move(request), std::move(account), std::move(current), std::move(next));
               });
}

void AccountService::ChangeFound(Request request, std::optional<Account> account, std::string current,
                                 std::string next) {
    if (!account || next.empty() || !AdmitWork(request.from, request.phone, "password change")) {
        Wipe(current);
        Wipe(next);
        return request.done(0);
    }
    const PasswordHasher::Owner owner = request.from.owner;
    hasher_.Verify(account->passwordHash, std::move(current), owner,
                   [this, request = std::move(request), next = std::move(next)](PasswordHasher::Verdict verdict) mutable {
                       ChangeVerified(std::move(request), verdict, std::move(next));
                   });
}

void AccountService::ChangeVerified(Request request, PasswordHasher::Verdict verdict, std::string next) {
    if (verdict != PasswordHasher::Verdict::Matches) {
        rules_.PasswordWorkDone(request.from.address);
        Wipe(next);
        if (verdict == PasswordHasher::Verdict::Busy) {
            spdlog::warn("password change refused unchecked: too many passwords waiting");
        } else {
            rules_.LoginFailed(request.from.address, clock_.SteadyMs());
            spdlog::debug("password change of {} refused: wrong current password", request.phone);
        }
        return request.done(0);
    }
    HashThen(std::move(request), std::move(next), &AccountService::ChangeHashed);
}

void AccountService::ChangeHashed(Request request, std::string hash) {
    store_.Run([phone = request.phone,
                hash = std::move(hash)](IStore& store) { return store.Accounts().UpdatePassword(phone, hash); },
               [phone = request.phone, done = std::move(request.done)](bool stored) {
                   if (stored) spdlog::debug("password of {} changed", phone);
                   done(stored ? 1 : 0);
               });
}

void AccountService::IsRelay(std::vector<std::string> phones, RelaysDone done) {
    store_.Run(
        [phones = std::move(phones)](IStore& store) {
            std::set<std::string> relays;
            for (const std::string& phone : phones) {
                if (relays.count(phone) != 0) continue;
                const auto account = store.Accounts().Find(phone);
                if (account && account->relay) relays.insert(phone);
            }
            return relays;
        },
        std::move(done));
}

void AccountService::RememberRobotMode(const std::string& phone, bool on, std::function<void(bool relay)> done) {
    store_.Run(
        [phone, on](IStore& store) {
            IAccountStore& accounts = store.Accounts();
            const auto account = accounts.Find(phone);
            const bool relay = account && account->relay;
            if ((relay || !on) && !accounts.SetRobotMode(phone, on))
                spdlog::warn("robot mode of an account not stored");
            return relay;
        },
        [done = std::move(done)](bool relay) {
            if (done) done(relay);
        });
}

void AccountService::IssueIdentNumber(const std::string& typedId, const std::string& address, IdentDone done) {
    const auto phone = CanonicalPhone(typedId);
    if (!phone) {
        spdlog::debug("identification number refused: \"{}\" is not a phone number", LogText(typedId));
        asio::post(loop_, [done = std::move(done)] { done(std::nullopt); });
        return;
    }
    // Stored and counted on the wall clock: the caps hold across restarts.
    store_.Run(
        [phone = *phone, address, caps = options_, now = clock_.NowMs()](IStore& store) {
            return IssueIdent(store.Accounts(), phone, address, caps, now);
        },
        [this, phone = *phone, address, done = std::move(done)](IdentIssue issue) {
            if (issue.hasAccount) {
                spdlog::debug("identification number refused: {} already has an account", phone);
            } else if (issue.refused) {
                metrics_.identRefused.fetch_add(1, std::memory_order_relaxed);
                spdlog::info("identification number requested from {} refused: {}", address, issue.refused);
            }
            if (!issue.ident) return done(std::nullopt);
            done(IdentMessage{phone, issue.ident->number, QUORLAN_CP949("[Quorlan] 인증번호 ") + issue.ident->number});
        });
}

} // namespace quorlan::server
