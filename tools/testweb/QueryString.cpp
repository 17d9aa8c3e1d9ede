#include "tools/testweb/QueryString.h"

namespace quorlan::testweb {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(plusIsSpace && c == '+' ? ' ' : c);
    }
    return out;
}

std::vector<QueryParam> ParseQuery(std::string_view query) {
    std::vector<QueryParam> params;
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string_view::npos) end = query.size();
        const std::string_view part = query.substr(start, end - start);
        if (!part.empty()) {
            const std::size_t eq = part.find('=');
            if (eq == std::string_view::npos) {
                params.push_back({PercentDecode(part, true), {}});
            } else {
                params.push_back({PercentDecode(part.substr(0, eq), true), PercentDecode(part.substr(eq + 1), true)});
            }
        }
        start = end + 1;
    }
    return params;
}

std::optional<std::string> FindParam(const std::vector<QueryParam>& params, std::string_view key) {
    for (const QueryParam& param : params) {
        if (param.key == key) return param.value;
    }
    return std::nullopt;
}

std::string EscapeUnprintable(std::string_view raw) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(raw.size());
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        }
    }
    return out;
}

} // namespace quorlan::testweb
