#pragma once
#include "AccountOptions.h"
#include "PasswordHasher.h"
#include "server/common/Clock.h"
#include "server/common/Metrics.h"
#include "server/limits/TrustRules.h"
#include "server/store/StoreWorker.h"

#include <asio/io_context.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorlan::server {

// Sign-up, login and password change. Every password is checked or hashed on
// the hasher's pool and every account read or written on the store's worker;
// each answer arrives on the loop through `done`, never before the call
// returns, so the connection can hold its later requests.
// The work is bounded per address and per account (TrustRules); failed logins
// slow down and stop their address, and lock the account for everyone only
// when many addresses fail together (LockoutPolicy).
class AccountService {
public:
    using CodeDone = std::function<void(std::uint32_t code)>;
    using LoginDone = std::function<void(std::optional<Account> account)>;

    // Where a request comes from: the client's address, and the connection's
    // token, whose expiry drops work still queued for it.
    struct Source {
        std::string address;
        PasswordHasher::Owner owner;
    };

    AccountService(asio::io_context& loop, StoreWorker& store, PasswordHasher& hasher, TrustRules& rules,
                   const IClock& clock, Metrics& metrics, const AccountOptions& options);

    void Login(const std::string& typedId, std::string password, const Source& from, LoginDone done);
    void NewAccount(const std::string& typedId, std::string password, const std::string& identNumber,
                    const Source& from, CodeDone done);
    // `phone` is the logged-in account of the connection.
    void ChangePassword(const std::string& phone, std::string current, std::string next, const Source& from,
                        CodeDone done);

    // A fresh identification number for a phone that has no account yet, and
    // the text message that carries it; nothing when refused (logged).
    struct IdentMessage {
        std::string phone;
        std::string number;
        std::string text;
    };
    using IdentDone = std::function<void(std::optional<IdentMessage> message)>;
    // Limited per phone per day, per address per hour and for the whole
    // server per hour, counted in the database.
    void IssueIdentNumber(const std::string& typedId, const std::string& address, IdentDone done);

    // Which of the accounts the operator has marked as relay, as of now.
    using RelaysDone = std::function<void(std::set<std::string> relays)>;
    void IsRelay(std::vector<std::string> phones, RelaysDone done);
    // Remembers that the account's client asked for robot mode (or withdrew),
    // so that its next login rejoins the relays without asking again. Asking
    // counts only for an account marked as relay; `done`, when given, hears
    // whether it is.
    void RememberRobotMode(const std::string& phone, bool on, std::function<void(bool relay)> done = {});

    static constexpr int kIdentTries = 5;

private:
    void Finish(CodeDone done, std::uint32_t code);
    void FinishLogin(const std::string& phone, const std::string& address, PasswordHasher::Verdict verdict,
                     LoginDone done);

    // One sign-up or password change on its way through its steps.
    struct Request {
        std::string phone;
        Source from;
        CodeDone done;
    };
    // Hashes the password on the pool, then goes on with `next`; the request
    // fails when it could not be hashed. The password work is done either way.
    using HashedStep = void (AccountService::*)(Request request, std::string hash);
    void HashThen(Request request, std::string password, HashedStep next);
    // Sign-up: the phone has no account and the number was right (or
    // `refused` says why not), the password hashed, the account stored.
    void SignUpChecked(Request request, std::string password, const char* refused);
    void SignUpHashed(Request request, std::string hash);
    // Password change: the account read, the current password checked, the
    // next one hashed and stored.
    void ChangeFound(Request request, std::optional<Account> account, std::string current, std::string next);
    void ChangeVerified(Request request, PasswordHasher::Verdict verdict, std::string next);
    void ChangeHashed(Request request, std::string hash);
    // Whether the limits let password work start for this source; logs and
    // counts a refusal.
    bool AdmitWork(const Source& from, const std::string& phone, const char* what);
    // On the store's worker: whether the number is the phone's, unexpired and
    // not tried too often; a wrong one is counted.
    static bool CheckIdent(IAccountStore& store, const std::string& phone, const std::string& number,
                           std::int64_t nowMs);

    asio::io_context& loop_;
    StoreWorker& store_;
    PasswordHasher& hasher_;
    TrustRules& rules_;
    const IClock& clock_;
    Metrics& metrics_;
    AccountOptions options_;
    std::string dummyHash_;
};

} // namespace quorlan::server
