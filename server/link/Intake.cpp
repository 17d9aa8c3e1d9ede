#include "Intake.h"

#include "ProxyHeader.h"

#include <array>

namespace quorlan::server {

Intake::Intake(asio::ip::tcp::socket socket, bool trustedProxy, std::chrono::milliseconds timeout, Done done)
    : socket_(std::move(socket)), deadline_(socket_.get_executor()), trustedProxy_(trustedProxy), timeout_(timeout),
      done_(std::move(done)) {
    std::error_code ec;
    const auto peer = socket_.remote_endpoint(ec);
    if (!ec) {
        peerAddress_ = peer.address().to_string();
        peerPort_ = peer.port();
    }
}

void Intake::Start() {
    std::error_code ec;
    socket_.non_blocking(true, ec);
    if (ec || peerAddress_.empty()) return Finish({Outcome::Gone, {}, 0, "no peer address"});
    deadline_.expires_after(timeout_);
    deadline_.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (error || self->finished_) return;
        self->Finish({self->trustedProxy_ ? Outcome::HeaderMissing : Outcome::Gone, {}, 0,
                      "no first bytes in time"});
    });
    WaitReadable();
}

void Intake::WaitReadable() {
    socket_.async_wait(asio::ip::tcp::socket::wait_read, [self = shared_from_this()](const std::error_code& ec) {
        if (self->finished_) return;
        if (ec) return self->Finish({Outcome::Gone, {}, 0, ec.message()});
        self->OnReadable();
    });
}

void Intake::OnReadable() {
    if (trustedProxy_) return ReadHeader();
    CheckNoHeader();
}

void Intake::ReadHeader() {
    for (;;) {
        const ProxyHeader header = ProxyHeader::Parse(header_);
        if (header.status == ProxyHeader::Status::Invalid)
            return Finish({Outcome::HeaderMissing, {}, 0, header.error});
        if (header.status == ProxyHeader::Status::Done) {
            if (header.source == ProxyHeader::Source::Proxy)
                return Finish({Outcome::Admitted, peerAddress_, peerPort_, {}});
            return Finish({Outcome::Admitted, header.address, header.port, {}});
        }
        const std::size_t have = header_.size();
        header_.resize(have + header.want);
        std::error_code ec;
        const std::size_t n = socket_.read_some(asio::buffer(header_.data() + have, header.want), ec);
        header_.resize(have + n);
        if (ec == asio::error::would_block || ec == asio::error::try_again) return WaitReadable();
        if (ec) return Finish({Outcome::Gone, {}, 0, ec == asio::error::eof ? "closed by the peer" : ec.message()});
    }
}

void Intake::CheckNoHeader() {
    std::array<std::uint8_t, 16> first{};
    std::error_code ec;
    const std::size_t n = socket_.receive(asio::buffer(first), asio::socket_base::message_peek, ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) return WaitReadable();
    if (ec || n == 0) return Finish({Outcome::Gone, {}, 0, ec ? ec.message() : "closed by the peer"});
    if (ProxyHeader::Starts(std::span<const std::uint8_t>(first.data(), n)))
        return Finish({Outcome::HeaderUnexpected, {}, 0, "PROXY header from a peer that is no trusted proxy"});
    Finish({Outcome::Admitted, peerAddress_, peerPort_, {}});
}

void Intake::Finish(Result result) {
    if (finished_) return;
    finished_ = true;
    deadline_.cancel();
    if (result.outcome != Outcome::Admitted && result.address.empty()) result.address = peerAddress_;
    auto done = std::move(done_);
    done(std::move(socket_), std::move(result));
}

} // namespace quorlan::server
