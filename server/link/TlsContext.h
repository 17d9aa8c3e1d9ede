#pragma once
#include <asio/ssl/context.hpp>

#include <memory>
#include <string>

namespace quorlan::server {

// The server's side of TLS on the client port: a certificate chain and its
// key (PEM files), TLS 1.2 at least, 1.3 whenever the client has it. Each
// connection takes the context current when it was accepted, so a reloaded
// certificate serves new connections while the open ones go on.
std::shared_ptr<asio::ssl::context> LoadTlsContext(const std::string& certificateFile, const std::string& keyFile,
                                                   std::string& error);

} // namespace quorlan::server
