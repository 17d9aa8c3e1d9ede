#include "Resp.h"

#include <cstring>

namespace quorlan::loadgen {
namespace {

// A CRLF-terminated line starting at `at`: its end (the CR), or npos.
std::size_t LineEnd(const std::uint8_t* data, std::size_t size, std::size_t at) {
    for (std::size_t i = at; i + 1 < size; ++i)
        if (data[i] == '\r' && data[i + 1] == '\n') return i;
    return std::string::npos;
}

bool ToInt(const std::uint8_t* from, const std::uint8_t* to, long long& out) {
    if (from == to) return false;
    bool negative = *from == '-';
    if (negative) ++from;
    out = 0;
    for (; from < to; ++from) {
        if (*from < '0' || *from > '9') return false;
        out = out * 10 + (*from - '0');
    }
    if (negative) out = -out;
    return true;
}

// One value at `at`; returns the offset after it, 0 when incomplete.
std::size_t ParseValue(const std::uint8_t* data, std::size_t size, std::size_t at, std::vector<std::string>& items,
                       bool& bad, int depth) {
    if (at >= size) return 0;
    const std::size_t end = LineEnd(data, size, at + 1);
    if (end == std::string::npos) return 0;
    const char kind = static_cast<char>(data[at]);
    const auto* text = reinterpret_cast<const char*>(data + at + 1);
    switch (kind) {
    case '+':
    case '-':
    case ':':
        items.emplace_back(text, end - at - 1);
        return end + 2;
    case '$': {
        long long n = 0;
        if (!ToInt(data + at + 1, data + end, n)) break;
        if (n < 0) return end + 2;
        const std::size_t from = end + 2;
        if (size < from + static_cast<std::size_t>(n) + 2) return 0;
        items.emplace_back(reinterpret_cast<const char*>(data + from), static_cast<std::size_t>(n));
        return from + static_cast<std::size_t>(n) + 2;
    }
    case '*': {
        long long n = 0;
        if (!ToInt(data + at + 1, data + end, n) || depth > 2) break;
        std::size_t next = end + 2;
        for (long long i = 0; i < n; ++i) {
            next = ParseValue(data, size, next, items, bad, depth + 1);
            if (next == 0) return 0;
        }
        return next;
    }
    default:
        break;
    }
    bad = true;
    return 0;
}

} // namespace

std::string RespCommand(const std::vector<std::string_view>& words) {
    std::string out = "*" + std::to_string(words.size()) + "\r\n";
    for (auto w : words) {
        out += "$" + std::to_string(w.size()) + "\r\n";
        out += w;
        out += "\r\n";
    }
    return out;
}

std::size_t ParseResp(const std::uint8_t* data, std::size_t size, std::vector<std::string>& items, bool& bad) {
    const std::size_t before = items.size();
    const std::size_t used = ParseValue(data, size, 0, items, bad, 0);
    if (used == 0) items.resize(before);
    return used;
}

} // namespace quorlan::loadgen
