#include "QuorlanFleet.h"

#include "net/Codec.h"

#include <asio/write.hpp>
#include <poll.h>

namespace quorlan::loadgen {
namespace {

constexpr const char* kBoard = "http://127.0.0.1/bbs/zboard.php?id=loadgen";
// Asked by every client, and the server's floor (main.cpp).
constexpr std::int32_t kInterval = 3600;
constexpr std::size_t kBatch = 500;

// One whole message off the front of `pending`, if there is one.
std::optional<net::ServerMessage> TakeMessage(std::vector<std::uint8_t>& pending, bool& bad) {
    const auto header = net::DecodeHeader(pending.data(), pending.size());
    if (!header) return std::nullopt;
    if (header->length < net::kHeaderSize) {
        bad = true;
        return std::nullopt;
    }
    if (pending.size() < header->length) return std::nullopt;
    auto message = net::DecodeServerMessage(pending.data(), header->length);
    pending.erase(pending.begin(), pending.begin() + header->length);
    return message;
}

// Blocking wait for a message of `type` (others are skipped), 10 s at most.
std::optional<net::ServerMessage> Await(Link& link, std::uint8_t type) {
    bool bad = false;
    while (true) {
        while (auto message = TakeMessage(link.pending, bad))
            if (message->type == type) return message;
        if (bad) return std::nullopt;
        pollfd p{link.socket.native_handle(), POLLIN, 0};
        if (::poll(&p, 1, 10'000) <= 0) return std::nullopt;
        std::error_code ec;
        const std::size_t n = link.socket.read_some(asio::buffer(link.chunk), ec);
        if (ec) return std::nullopt;
        link.pending.insert(link.pending.end(), link.chunk.begin(), link.chunk.begin() + static_cast<long>(n));
    }
}

bool Write(Link& link, std::initializer_list<net::Encoded> packets) {
    std::vector<std::uint8_t> bytes;
    for (const auto& p : packets) {
        if (!p.ok()) return false;
        bytes.insert(bytes.end(), p.bytes.begin(), p.bytes.end());
    }
    std::error_code ec;
    asio::write(link.socket, asio::buffer(bytes), ec);
    return !ec;
}

} // namespace

bool QuorlanFleet::Setup(std::uint16_t port, std::size_t subscribers, std::string& error) {
    // The checker: a baseline first, then at once the board's first check.
    // Everyone asks for an hour and the server's floor is an hour (main.cpp),
    // so the checker keeps the check for the whole run.
    if (!ConnectLink(port, error)) return false;
    Link& checker = *links_.front();
    if (!Write(checker, {net::EncodeVersion(), net::EncodeSetBoard(kInterval, kBoard), net::EncodeSearchState(1)}) ||
        !Await(checker, net::ListRequest) || !Write(checker, {net::EncodeListReply("baseline\r\n")}) ||
        !Await(checker, net::CheckList) || !Write(checker, {net::EncodeListReport("baseline\r\n")})) {
        error = "the checker did not get the board's check";
        return false;
    }
    // The others, a batch at a time: connect and send, then collect answers.
    while (links_.size() < subscribers) {
        const std::size_t first = links_.size();
        const std::size_t last = std::min(subscribers, first + kBatch);
        for (std::size_t i = first; i < last; ++i) {
            if (!ConnectLink(port, error)) return false;
            if (!Write(*links_.back(), {net::EncodeVersion(), net::EncodeSetBoard(kInterval, kBoard),
                                        net::EncodeSearchState(1)})) {
                error = "write failed during setup";
                return false;
            }
        }
        for (std::size_t i = first; i < last; ++i) {
            const auto result = Await(*links_[i], net::SetBoardResult);
            if (!result || result->code != 1u) {
                error = "client " + std::to_string(i) + " got no SetBoardResult 1";
                return false;
            }
        }
    }
    return true;
}

void QuorlanFleet::Publish(std::uint64_t, const std::string& line) { Write(*links_.front(), {net::EncodeNewPost(line)}); }

bool QuorlanFleet::Extract(Link& link, const std::function<void(std::string_view)>& line) {
    bool bad = false;
    while (auto message = TakeMessage(link.pending, bad))
        if (message->type == net::ServerNewPost) line(message->text);
    return !bad;
}

} // namespace quorlan::loadgen
