#include "QuorlanFleet.h"

#include "net/Codec.h"
#include "net/StreamFramer.h"

#include <asio/write.hpp>
#include <poll.h>

namespace quorlan::loadgen {
namespace {

constexpr const char* kBoard = "http://127.0.0.1/bbs/zboard.php?id=loadgen";
// Interval 0: the server's shortest period (kMinInterval), so that a post
// waits at most a moment for the next check.
constexpr std::int32_t kInterval = 0;
constexpr std::size_t kBatch = 500;
// A page with this many new lines or more is never posted line by line.
constexpr std::size_t kMostPerCheck = 19;

// One whole message off the front of `pending`, if there is one.
std::optional<net::ServerMessage> TakeMessage(std::vector<std::uint8_t>& pending, bool& bad) {
    const net::FrameHead head = net::ReadFrameHead(pending.data(), pending.size(), net::kAnyLength);
    if (head.kind == net::FrameHead::Kind::Bad) {
        bad = true;
        return std::nullopt;
    }
    if (head.kind == net::FrameHead::Kind::NeedMore || pending.size() < head.length) return std::nullopt;
    auto message = net::DecodeServerMessage(pending.data(), head.length);
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(head.length));
    return message;
}

// Blocking wait for a message of `type`, 10 s at most; others go to `other`.
std::optional<net::ServerMessage> Await(Link& link, std::uint8_t type,
                                        const std::function<bool(const net::ServerMessage&)>& other) {
    bool bad = false;
    while (true) {
        while (auto message = TakeMessage(link.pending, bad)) {
            if (message->type == type) return message;
            if (!other(*message)) return std::nullopt;
        }
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

std::optional<std::uint32_t> QuorlanFleet::ProbeVersion(std::uint16_t port, std::string& error) {
    if (!ConnectLink(port, error)) return std::nullopt;
    Link& link = *links_.back();
    std::optional<net::ServerMessage> answer;
    if (Write(link, {net::EncodeVersion()})) answer = Await(link, net::VersionResult, [](const net::ServerMessage&) { return true; });
    if (!answer) {
        error = "no VersionResult within 10 s";
        return std::nullopt;
    }
    return answer->code.value_or(0);
}

bool QuorlanFleet::Setup(std::uint16_t port, std::size_t subscribers, std::string& error) {
    const auto handle = [this](Link* link) {
        return [this, link](const net::ServerMessage& message) { return Handle(*link, message); };
    };
    // Everybody joins first without monitoring, a batch at a time: connect
    // and send, then collect answers. No check starts meanwhile.
    while (links_.size() < subscribers) {
        const std::size_t first = links_.size();
        const std::size_t last = std::min(subscribers, first + kBatch);
        for (std::size_t i = first; i < last; ++i) {
            if (!ConnectLink(port, error)) return false;
            if (!Write(*links_.back(), {net::EncodeVersion(), net::EncodeSetBoard(kInterval, kBoard)})) {
                error = "write failed during setup";
                return false;
            }
        }
        for (std::size_t i = first; i < last; ++i) {
            const auto result = Await(*links_[i], net::SetBoardResult, handle(links_[i].get()));
            if (!result || result->code != 1u) {
                error = "client " + std::to_string(i) + " got no SetBoardResult 1";
                return false;
            }
        }
    }
    // Then monitoring on, confirmed by a round trip each. The checks start;
    // one that reaches a link not read yet waits until reading starts.
    for (auto& link : links_) {
        if (!Write(*link, {net::EncodeSearchState(1), net::EncodeVersion()})) {
            error = "write failed during setup";
            return false;
        }
    }
    for (std::size_t i = 0; i < links_.size(); ++i) {
        if (!Await(*links_[i], net::VersionResult, handle(links_[i].get()))) {
            error = "client " + std::to_string(i) + " did not start monitoring";
            return false;
        }
    }
    // A check read along with an answer above must not wait for more bytes.
    for (auto& link : links_) {
        if (!Extract(*link, [](std::string_view) {})) {
            error = "bad message during setup";
            return false;
        }
    }
    return true;
}

bool QuorlanFleet::Handle(Link& link, const net::ServerMessage& message) {
    if (message.type == net::ListRequest) return Write(link, {net::EncodeListReply("baseline\r\n")});
    if (message.type == net::CheckList) {
        holder_ = &link;
        AnswerCheck(link);
    }
    return true;
}

void QuorlanFleet::AnswerCheck(Link& link) {
    if (waiting_.empty() || holder_ != &link) return;
    holder_ = nullptr;
    // The page shows only the new posts: each is new against the last list.
    std::string page;
    std::vector<net::Encoded> packets;
    while (!waiting_.empty() && packets.size() < kMostPerCheck) {
        page += waiting_.front() + "\r\n";
        packets.push_back(net::EncodeNewPost(waiting_.front()));
        waiting_.pop_front();
    }
    std::vector<std::uint8_t> bytes = net::EncodeListReport(page).bytes;
    for (const auto& p : packets) bytes.insert(bytes.end(), p.bytes.begin(), p.bytes.end());
    std::error_code ec;
    asio::write(link.socket, asio::buffer(bytes), ec);
}

void QuorlanFleet::Publish(std::uint64_t, const std::string& line) {
    waiting_.push_back(line);
    if (holder_) AnswerCheck(*holder_);
}

bool QuorlanFleet::Extract(Link& link, const std::function<void(std::string_view)>& line) {
    bool bad = false;
    while (auto message = TakeMessage(link.pending, bad)) {
        if (message->type == net::ServerNewPost) {
            line(message->text);
        } else if (!Handle(link, *message)) {
            return false;
        }
    }
    return !bad;
}

} // namespace quorlan::loadgen
