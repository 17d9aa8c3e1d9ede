#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::testweb {

// One key=value pair of a URL query or form body, both percent-decoded to bytes.
struct QueryParam {
    std::string key;
    std::string value;
};

// "%XX" (two hex digits) becomes that byte; a "%" not followed by two hex digits
// stays as it is. With plusIsSpace, "+" becomes a space (form encoding).
std::string PercentDecode(std::string_view text, bool plusIsSpace);

// Splits at "&", then at the first "=" of each part (a part without "=" is a key
// with an empty value; empty parts are skipped). Order and duplicates are kept.
std::vector<QueryParam> ParseQuery(std::string_view query);

// The value of the first pair with this key, if any.
std::optional<std::string> FindParam(const std::vector<QueryParam>& params, std::string_view key);

// The text with every byte outside printable ASCII written as "%XX", so that a
// raw query can be shown (and stored as JSON) exactly as it arrived.
std::string EscapeUnprintable(std::string_view raw);

} // namespace quorlan::testweb
