#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorlan::shell {

// The reversible 6-bit text form in which the login ID and password are kept
// in the settings file ("param1", "param2"). Each group of three plain bytes
// (the last one filled with zero bytes) becomes four characters between ";"
// and "z"; the stored form ends with ".". "abc" is stored as "SQD^.", the
// empty value as ".".

// The codec works on a buffer of 4,096 characters: 4·⌈n/3⌉ characters, "."
// and a line feed must fit, so at most 3,069 plain bytes can be encoded.
inline constexpr std::size_t kMaxCredentialPlainBytes = 3069;

// The stored form (without the codec's trailing line feed), or nothing when
// `plain` is longer than kMaxCredentialPlainBytes: a value is never cut.
std::optional<std::string> EncodeCredential(std::string_view plain);

// Decodes ⌊(L−1)/4⌋ whole groups of a stored value of L characters: the last
// character (normally the ".") and an incomplete group are not used. The plain
// value ends at the first zero byte. Text not in the encoded form decodes to
// whatever the arithmetic gives; an empty value decodes to "".
std::string DecodeCredential(std::string_view stored);

} // namespace quorlan::shell
