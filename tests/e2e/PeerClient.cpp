#include "PeerClient.h"

#include "fakes/LoopbackSocket.h"
#include "net/StreamFramer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace quorlan::test {

PeerClient::PeerClient(std::uint16_t port) {
    if (::pipe(wake_) != 0) return;
    fd_ = ConnectLoopback(port, 0, true);
    if (fd_ < 0) return;
    reader_ = std::thread([this] { Read(); });
}

PeerClient::~PeerClient() {
    if (reader_.joinable()) {
        const char stop = 1;
        (void)::write(wake_[1], &stop, 1);
        reader_.join();
    }
    for (int fd : {fd_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

bool PeerClient::Send(const net::Encoded& packet) {
    if (!packet.ok() || fd_ < 0) return false;
    std::lock_guard lock(writeMutex_);
    return SendAll(fd_, packet.bytes);
}

std::vector<PeerClient::Received> PeerClient::Messages() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t PeerClient::Count() const {
    std::lock_guard lock(mutex_);
    return received_.size();
}

std::optional<PeerClient::Received> PeerClient::Find(std::uint8_t type, std::size_t from) const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = from; i < received_.size(); ++i)
        if (received_[i].message.type == type) return received_[i];
    return std::nullopt;
}

std::optional<PeerClient::Received> PeerClient::WaitFor(std::uint8_t type, std::size_t from,
                                                        std::chrono::milliseconds wait) const {
    std::unique_lock lock(mutex_);
    std::optional<Received> found;
    arrived_.wait_for(lock, wait, [&] {
        for (std::size_t i = from; i < received_.size(); ++i) {
            if (received_[i].message.type == type) {
                found = received_[i];
                return true;
            }
        }
        return false;
    });
    return found;
}

void PeerClient::Read() {
    net::StreamFramer framer(net::kAnyLength);
    while (true) {
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        std::uint8_t chunk[16384];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        const auto at = std::chrono::steady_clock::now();
        framer.Feed(chunk, static_cast<std::size_t>(n));
        while (true) {
            const net::StreamFramer::Frame frame = framer.Next();
            if (frame.kind == net::StreamFramer::Frame::Kind::Error) return; // no framing is possible after this
            if (frame.kind == net::StreamFramer::Frame::Kind::NeedMore) break;
            const net::ServerMessage message = net::DecodeServerMessage(frame.data, frame.size);
            Answer(message);
            {
                std::lock_guard lock(mutex_);
                received_.push_back({message, at});
            }
            arrived_.notify_all();
        }
    }
}

void PeerClient::Answer(const net::ServerMessage& message) {
    if (message.type == net::CheckList) {
        lastList_ = message.text;
        (void)Send(net::EncodeListReport(message.text));
    } else if (message.type == net::ListRequest) {
        (void)Send(net::EncodeListReply(lastList_));
    }
}

} // namespace quorlan::test
