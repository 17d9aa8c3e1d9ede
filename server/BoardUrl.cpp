#include "BoardUrl.h"

#include <cctype>

namespace quorlan::server {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

} // namespace

bool IsBoardUrl(std::string_view url) {
    std::size_t hostAt = 0;
    if (StartsWithNoCase(url, "http://")) {
        hostAt = 7;
    } else if (StartsWithNoCase(url, "https://")) {
        hostAt = 8;
    } else {
        return false;
    }
    if (url.size() == hostAt || url[hostAt] == '/' || url[hostAt] == '?' || url[hostAt] == '#') return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7F) return false;
    return true;
}

} // namespace quorlan::server
