#pragma once
#include "server/common/IPeer.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace quorlan::server {

// Which `NewPost` lines the server believes. When a board's checker reports
// its page (`ListReport`), the lines new against the board's previous list
// are found by the clients' own rule (digits and spaces ignored, duplicates
// counted, none at all when 20 or more are new). Only the reporter may then
// post them, each as often as it was new, within a short window.
class PostGate {
public:
    enum class Verdict { Accepted, NotChecker, NotNew, Late };

    explicit PostGate(std::int64_t windowMs) : windowMs_(windowMs) {}

    // The checker `reporter` reported `report` against `previous` (the list
    // it was sent); replaces what the board expected before. `nowMs` steady.
    void Expect(const std::string& url, SessionId reporter, const std::optional<std::string>& previous,
                const std::string& report, std::int64_t nowMs);
    // Whether `line` from `id` is one of the expected lines; an accepted one
    // is used up.
    Verdict Take(const std::string& url, SessionId id, const std::string& line, std::int64_t nowMs);
    // The board has gone, or its reporter has.
    void Forget(const std::string& url);
    std::size_t Boards() const { return boards_.size(); }

private:
    struct Expected {
        SessionId reporter = 0;
        std::int64_t untilMs = 0;
        std::unordered_map<std::string, std::size_t> lines; // exact line -> times it may still come
    };
    std::int64_t windowMs_;
    std::unordered_map<std::string, Expected> boards_;
};

} // namespace quorlan::server
