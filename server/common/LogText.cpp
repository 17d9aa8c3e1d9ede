#include "LogText.h"

#include "base/Cp949.h"

#include <cstdio>

namespace quorlan::server {

std::string LogText(std::string_view cp949) {
    const std::string utf8 = base::Utf8FromCp949(cp949);
    std::string out;
    out.reserve(utf8.size());
    for (unsigned char c : utf8) {
        if (c < 0x20 || c == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

} // namespace quorlan::server
