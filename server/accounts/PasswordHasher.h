#pragma once
#include <asio/io_context.hpp>
#include <asio/thread_pool.hpp>

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorlan::server {

// argon2id hashing and verification off the event loop. Two worker threads,
// so at most two hashes are computed at once whatever the load; results are
// posted back to the loop. A backlog beyond `maxQueued` is refused at once
// rather than letting login floods queue unbounded memory. The server sizes
// the bound to its connection limit (a connection has at most one hash
// pending), so a refusal means overload, never a wrong password. Each job
// names its owner (the connection's token): a job whose owner is gone by the
// time a worker reaches it is dropped undone, and answered as Busy/nothing.
class PasswordHasher {
public:
    enum class Verdict { Matches, Mismatch, Busy };
    // Nothing when the hash could not be computed or the backlog is full.
    using HashDone = std::function<void(std::optional<std::string> hash)>;
    using VerifyDone = std::function<void(Verdict verdict)>;

    static constexpr std::size_t kMinQueue = 64;

    // Whoever still wants a job's result holds the shared end of its owner.
    using Owner = std::weak_ptr<const void>;

    PasswordHasher(asio::io_context& loop, unsigned long long opsLimit, std::size_t memLimit,
                   std::size_t maxQueued = kMinQueue, std::atomic<std::uint64_t>* dropped = nullptr);
    ~PasswordHasher();
    PasswordHasher(const PasswordHasher&) = delete;
    PasswordHasher& operator=(const PasswordHasher&) = delete;

    // Both call `done` on the loop, never before returning.
    void Hash(std::string password, Owner owner, HashDone done);
    void Verify(std::string hash, std::string password, Owner owner, VerifyDone done);

    // Synchronous forms for the operator's subcommands and tests.
    static std::optional<std::string> HashNow(const std::string& password, unsigned long long opsLimit,
                                              std::size_t memLimit);
    static bool VerifyNow(const std::string& hash, const std::string& password);

private:
    asio::io_context& loop_;
    unsigned long long opsLimit_;
    std::size_t memLimit_;
    std::size_t maxQueued_;
    std::size_t queued_ = 0; // touched on the loop only
    std::atomic<std::uint64_t>* dropped_;
    asio::thread_pool pool_;
};

} // namespace quorlan::server
