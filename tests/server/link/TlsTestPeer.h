#pragma once
#include "net/Codec.h"
#include "net/StreamFramer.h"

#include <openssl/ssl.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorlan::test {

// Writes a fresh P-256 key and a self-signed certificate for "localhost" as
// PEM files; false when OpenSSL fails.
bool WriteSelfSignedCertificate(const std::string& certificateFile, const std::string& keyFile);

// A blocking TLS client for the server's client port, from a chosen loopback
// address, that speaks the wire codec; `before` goes first in clear, as a
// load balancer's PROXY header does. Every wait is bounded.
class TlsTestClient {
public:
    TlsTestClient(std::uint16_t port, const std::string& source = "", const std::vector<std::uint8_t>& before = {});
    ~TlsTestClient();
    TlsTestClient(const TlsTestClient&) = delete;
    TlsTestClient& operator=(const TlsTestClient&) = delete;

    // The handshake succeeded.
    bool Ready() const { return ssl_ != nullptr; }
    const std::string& Error() const { return error_; }
    // The DER public key the server showed.
    std::string ServerKey() const;
    // The result code of a Version round trip, nothing on timeout or close.
    std::optional<std::uint32_t> Version(std::chrono::milliseconds wait = std::chrono::seconds(5));

private:
    int fd_ = -1;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    std::string error_;
    net::StreamFramer framer_{net::kAnyLength};
};

} // namespace quorlan::test
