#pragma once
#include <string_view>

namespace quorlan::server {

// A board is named by its page address: an http or https URL with a host,
// free of control bytes and blanks (cp949 bytes in the query are allowed).
bool IsBoardUrl(std::string_view url);

} // namespace quorlan::server
