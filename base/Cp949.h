#pragma once
#include <string>
#include <string_view>

namespace quorlan::base {

// Conversions at the boundary between cp949 (every text inside the program)
// and UTF-8 (source literals, Qt, the terminal). Characters that have no form
// on the other side become "?".
std::string Cp949FromUtf8(std::string_view utf8);
std::string Utf8FromCp949(std::string_view cp949);
// The same between cp949 and UTF-16 little-endian bytes (no byte-order mark).
std::string Cp949FromUtf16Le(std::string_view utf16le);
std::string Utf16LeFromCp949(std::string_view cp949);

// A cp949 text written as UTF-8 in the source, converted once and kept.
// Use for the program's own fixed captions and log texts.
#define QUORLAN_CP949(utf8literal)                                                                                     \
    ([]() -> const std::string& {                                                                                      \
        static const std::string converted = ::quorlan::base::Cp949FromUtf8(utf8literal);                               \
        return converted;                                                                                              \
    }())

} // namespace quorlan::base
