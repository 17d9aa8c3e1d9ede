#pragma once
#include <string>
#include <string_view>

namespace quorlan::server {

// A board is named by its page address: an http or https URL with a host,
// free of control bytes and blanks (cp949 bytes in the query are allowed).
bool IsBoardUrl(std::string_view url);

// The site a board lives on, for the politeness rules shared by its boards:
// the host of the address in lower case, without user name or port. Empty
// when `url` is not a board address.
std::string BoardHost(std::string_view url);

} // namespace quorlan::server
