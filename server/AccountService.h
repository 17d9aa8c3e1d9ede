#pragma once
#include "AccountStore.h"
#include "Clock.h"
#include "Metrics.h"
#include "PasswordHasher.h"
#include "ServerConfig.h"

#include <asio/io_context.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quorlan::server {

// Sign-up, login and password change. Every password is checked or hashed on
// the hasher's pool; each answer arrives on the loop through `done`, never
// before the call returns, so the connection can hold its later requests.
class AccountService {
public:
    using CodeDone = std::function<void(std::uint32_t code)>;
    using LoginDone = std::function<void(std::optional<Account> account)>;

    AccountService(asio::io_context& loop, AccountStore& store, PasswordHasher& hasher, const IClock& clock,
                   Metrics& metrics, const ServerConfig& config);

    void Login(const std::string& typedId, std::string password, LoginDone done);
    void NewAccount(const std::string& typedId, std::string password, const std::string& identNumber,
                    CodeDone done);
    // `phone` is the logged-in account of the connection.
    void ChangePassword(const std::string& phone, std::string current, std::string next, CodeDone done);

    // A fresh identification number for a phone that has no account yet, and
    // the text message that carries it; nothing when refused (logged).
    struct IdentMessage {
        std::string phone;
        std::string number;
        std::string text;
    };
    std::optional<IdentMessage> IssueIdentNumber(const std::string& typedId);

    // Whether the operator has the account marked as relay, as of now.
    bool IsRelay(const std::string& phone);
    // Remembers that the account's client asked for robot mode (or withdrew),
    // so that its next login rejoins the relays without asking again.
    void RememberRobotMode(const std::string& phone, bool on);

    static constexpr int kIdentTries = 5;

private:
    void Finish(CodeDone done, std::uint32_t code);
    void FinishLogin(const std::string& phone, PasswordHasher::Verdict verdict, const LoginDone& done);
    bool CheckIdent(const std::string& phone, const std::string& number);

    asio::io_context& loop_;
    AccountStore& store_;
    PasswordHasher& hasher_;
    const IClock& clock_;
    Metrics& metrics_;
    const ServerConfig& config_;
    std::string dummyHash_;
};

} // namespace quorlan::server
