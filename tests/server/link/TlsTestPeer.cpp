#include "TlsTestPeer.h"

#include "fakes/LoopbackSocket.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace quorlan::test {

bool WriteSelfSignedCertificate(const std::string& certificateFile, const std::string& keyFile) {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
    if (!key || !certificate) return false;
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -60);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86'400);
    X509_set_pubkey(certificate.get(), key.get());
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1,
                               0);
    X509_set_issuer_name(certificate.get(), name);
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) == 0) return false;
    std::unique_ptr<FILE, decltype(&std::fclose)> cert(std::fopen(certificateFile.c_str(), "w"), std::fclose);
    std::unique_ptr<FILE, decltype(&std::fclose)> keyOut(std::fopen(keyFile.c_str(), "w"), std::fclose);
    return cert && keyOut && PEM_write_X509(cert.get(), certificate.get()) == 1 &&
           PEM_write_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
}

TlsTestClient::TlsTestClient(std::uint16_t port, const std::string& source, const std::vector<std::uint8_t>& before) {
    fd_ = ConnectLoopback(port, 0, false, source.empty() ? nullptr : source.c_str());
    if (fd_ < 0 || (!before.empty() && !SendAll(fd_, before))) {
        error_ = "cannot connect";
        return;
    }
    timeval timeout{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    context_ = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(context_);
    SSL_set_fd(ssl, fd_);
    if (SSL_connect(ssl) != 1) {
        error_ = "handshake failed: " + std::to_string(ERR_get_error());
        SSL_free(ssl);
        return;
    }
    ssl_ = ssl;
}

TlsTestClient::~TlsTestClient() {
    if (ssl_) SSL_free(ssl_);
    if (context_) SSL_CTX_free(context_);
    if (fd_ >= 0) ::close(fd_);
}

std::string TlsTestClient::ServerKey() const {
    if (!ssl_) return {};
    std::unique_ptr<X509, decltype(&X509_free)> peer(SSL_get1_peer_certificate(ssl_), X509_free);
    if (!peer) return {};
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(X509_get0_pubkey(peer.get()), &der);
    std::string key(reinterpret_cast<const char*>(der), size > 0 ? static_cast<std::size_t>(size) : 0);
    OPENSSL_free(der);
    return key;
}

std::optional<std::uint32_t> TlsTestClient::Version(std::chrono::milliseconds wait) {
    if (!ssl_) return std::nullopt;
    const auto packet = net::EncodeVersion();
    if (SSL_write(ssl_, packet.bytes.data(), static_cast<int>(packet.bytes.size())) <= 0) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
        const net::StreamFramer::Frame frame = framer_.Next();
        if (frame.kind == net::StreamFramer::Frame::Kind::Packet) {
            const auto message = net::DecodeServerMessage(frame.data, frame.size);
            if (message.type == net::VersionResult) return message.code.value_or(0);
            continue;
        }
        std::uint8_t chunk[4096];
        const int n = SSL_read(ssl_, chunk, sizeof chunk);
        if (n <= 0) return std::nullopt;
        framer_.Feed(chunk, static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

} // namespace quorlan::test
