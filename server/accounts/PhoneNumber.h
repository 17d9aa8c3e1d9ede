#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace quorlan::server {

// An account is its mobile phone number. Users type it with or without dashes
// ("010-1234-5678"); the canonical form is the 10 or 11 digits alone, so both
// spellings name the same account. Anything else is not a phone number.
std::optional<std::string> CanonicalPhone(std::string_view typed);

} // namespace quorlan::server
