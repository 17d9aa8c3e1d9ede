#include "TlsContext.h"

#include <openssl/ssl.h>

namespace quorlan::server {

std::shared_ptr<asio::ssl::context> LoadTlsContext(const std::string& certificateFile, const std::string& keyFile,
                                                   std::string& error) {
    auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
    std::error_code ec;
    context->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                             asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                             asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use,
                         ec);
    SSL_CTX* handle = context->native_handle();
    if (!ec && SSL_CTX_set_min_proto_version(handle, TLS1_2_VERSION) != 1) ec = asio::error::invalid_argument;
    if (ec) {
        error = "TLS: cannot set up the context: " + ec.message();
        return nullptr;
    }
    // Idle connections give their record buffers back.
    SSL_CTX_set_mode(handle, SSL_MODE_RELEASE_BUFFERS);
    context->use_certificate_chain_file(certificateFile, ec);
    if (ec) {
        error = "--tls-cert " + certificateFile + ": " + ec.message();
        return nullptr;
    }
    context->use_private_key_file(keyFile, asio::ssl::context::pem, ec);
    if (ec) {
        error = "--tls-key " + keyFile + ": " + ec.message();
        return nullptr;
    }
    if (SSL_CTX_check_private_key(handle) != 1) {
        error = "--tls-key " + keyFile + " does not belong to the certificate in " + certificateFile;
        return nullptr;
    }
    return context;
}

} // namespace quorlan::server
