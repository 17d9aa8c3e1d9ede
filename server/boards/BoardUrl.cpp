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

std::string BoardHost(std::string_view url) {
    if (!IsBoardUrl(url)) return {};
    std::string_view rest = url.substr(url.find("://") + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() == '[') {
        rest = rest.substr(0, rest.find(']') + 1); // an IPv6 literal keeps its brackets
    } else {
        rest = rest.substr(0, rest.find(':'));
    }
    std::string host(rest);
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return host;
}

} // namespace quorlan::server
