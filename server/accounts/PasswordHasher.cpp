#include "PasswordHasher.h"

#include <asio/post.hpp>
#include <sodium.h>
#include <spdlog/spdlog.h>

namespace quorlan::server {
namespace {

void Wipe(std::string& secret) {
    if (!secret.empty()) sodium_memzero(secret.data(), secret.size());
    secret.clear();
}

} // namespace

PasswordHasher::PasswordHasher(asio::io_context& loop, unsigned long long opsLimit, std::size_t memLimit,
                               std::size_t maxQueued, std::atomic<std::uint64_t>* dropped)
    : loop_(loop), opsLimit_(opsLimit), memLimit_(memLimit), maxQueued_(maxQueued), dropped_(dropped), pool_(2) {}

PasswordHasher::~PasswordHasher() {
    pool_.stop();
    pool_.join();
}

std::optional<std::string> PasswordHasher::HashNow(const std::string& password, unsigned long long opsLimit,
                                                   std::size_t memLimit) {
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), opsLimit, memLimit,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        return std::nullopt;
    return std::string(out);
}

bool PasswordHasher::VerifyNow(const std::string& hash, const std::string& password) {
    if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void PasswordHasher::Hash(std::string password, Owner owner, HashDone done) {
    if (queued_ >= maxQueued_) {
        Wipe(password);
        spdlog::warn("password hashing refused: {} hashes already waiting", queued_);
        asio::post(loop_, [done = std::move(done)] { done(std::nullopt); });
        return;
    }
    ++queued_;
    asio::post(pool_, [this, password = std::move(password), owner = std::move(owner), done = std::move(done)]() mutable {
        std::optional<std::string> hash;
        if (owner.expired()) {
            if (dropped_) dropped_->fetch_add(1, std::memory_order_relaxed);
        } else {
            hash = HashNow(password, opsLimit_, memLimit_);
        }
        Wipe(password);
        asio::post(loop_, [this, hash = std::move(hash), done = std::move(done)]() mutable {
            --queued_;
            done(std::move(hash));
        });
    });
}

void PasswordHasher::Verify(std::string hash, std::string password, Owner owner, VerifyDone done) {
    if (queued_ >= maxQueued_) {
        Wipe(password);
        spdlog::warn("password check refused: {} hashes already waiting", queued_);
        asio::post(loop_, [done = std::move(done)] { done(Verdict::Busy); });
        return;
    }
    ++queued_;
    asio::post(pool_, [this, hash = std::move(hash), password = std::move(password), owner = std::move(owner),
                       done = std::move(done)]() mutable {
        Verdict verdict = Verdict::Busy;
        if (owner.expired()) {
            if (dropped_) dropped_->fetch_add(1, std::memory_order_relaxed);
        } else {
            verdict = VerifyNow(hash, password) ? Verdict::Matches : Verdict::Mismatch;
        }
        Wipe(password);
        asio::post(loop_, [this, verdict, done = std::move(done)] {
            --queued_;
            done(verdict);
        });
    });
}

} // namespace quorlan::server
