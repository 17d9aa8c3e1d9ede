#pragma once
#include "AccountStore.h"
#include "Clock.h"
#include "Metrics.h"
#include "PasswordHasher.h"
#include "ServerConfig.h"
#include "TrustRules.h"

#include <asio/io_context.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quorlan::server {

// Sign-up, login and password change. Every password is checked or hashed on
// the hasher's pool; each answer arrives on the loop through `done`, never
// before the call returns, so the connection can hold its later requests.
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

    AccountService(asio::io_context& loop, AccountStore& store, PasswordHasher& hasher, TrustRules& rules,
                   const IClock& clock, Metrics& metrics, const ServerConfig& config);

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
    // Limited per phone per day, per address per hour and for the whole
    // server per hour, counted in the database.
    std::optional<IdentMessage> IssueIdentNumber(const std::string& typedId, const std::string& address);

    // Whether the operator has the account marked as relay, as of now.
    bool IsRelay(const std::string& phone);
    // Remembers that the account's client asked for robot mode (or withdrew),
    // so that its next login rejoins the relays without asking again.
    void RememberRobotMode(const std::string& phone, bool on);

    static constexpr int kIdentTries = 5;

private:
    void Finish(CodeDone done, std::uint32_t code);
    void FinishLogin(const std::string& phone, const std::string& address, PasswordHasher::Verdict verdict,
                     const LoginDone& done);
    // Whether the limits let password work start for this source; logs and
    // counts a refusal.
    bool AdmitWork(const Source& from, const std::string& phone, const char* what);
    bool CheckIdent(const std::string& phone, const std::string& number);

    asio::io_context& loop_;
    AccountStore& store_;
    PasswordHasher& hasher_;
    TrustRules& rules_;
    const IClock& clock_;
    Metrics& metrics_;
    const ServerConfig& config_;
    std::string dummyHash_;
};

} // namespace quorlan::server
