#include "PhoneNumber.h"

namespace quorlan::server {

std::optional<std::string> CanonicalPhone(std::string_view typed) {
    std::string digits;
    for (char c : typed) {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
        } else if (c != '-') {
            return std::nullopt;
        }
    }
    if (digits.size() < 10 || digits.size() > 11) return std::nullopt;
    if (!typed.empty() && (typed.front() == '-' || typed.back() == '-')) return std::nullopt;
    if (typed.find("--") != std::string_view::npos) return std::nullopt;
    return digits;
}

} // namespace quorlan::server
