#include "PostLink.h"

#include "Extraction.h"
#include "PostListCompare.h"

#include <unordered_map>

namespace quorlan::board {
namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::size_t FindHrefName(std::string_view tag) {
    constexpr std::string_view kName = "href";
    for (std::size_t i = 0; i + kName.size() <= tag.size(); ++i) {
        bool same = true;
        for (std::size_t k = 0; k < kName.size() && same; ++k) same = LowerAscii(tag[i + k]) == kName[k];
        // An attribute name starts after a space.
        if (same && i > 0 && IsSpace(tag[i - 1])) return i + kName.size();
    }
    return std::string_view::npos;
}

} // namespace

std::optional<std::string> HrefOfTag(std::string_view tag) {
    std::size_t at = FindHrefName(tag);
    if (at == std::string_view::npos) return std::nullopt;
    while (at < tag.size() && IsSpace(tag[at])) ++at;
    if (at >= tag.size() || tag[at] != '=') return std::nullopt;
    ++at;
    while (at < tag.size() && IsSpace(tag[at])) ++at;
    if (at >= tag.size()) return std::nullopt;
    std::size_t end = 0;
    if (tag[at] == '"' || tag[at] == '\'') {
        end = tag.find(tag[at], at + 1);
        ++at;
        if (end == std::string_view::npos) end = tag.size();
    } else {
        end = at;
        while (end < tag.size() && !IsSpace(tag[end])) ++end;
    }
    if (end <= at) return std::nullopt;
    return std::string(tag.substr(at, end - at));
}

std::optional<std::string> FindPostLink(std::string_view markup, std::string_view shownLine) {
    // Each post line of the page with its link, the first row of a line kept.
    std::unordered_map<std::string, std::string> links;
    for (const std::string& line : ReadPageLines(markup)) {
        const std::string_view tag = FirstLinkTag(line);
        if (tag.empty()) continue;
        std::string post = NormaliseLine(ExtractAnchorText(line));
        if (post.empty()) continue;
        if (std::optional<std::string> href = HrefOfTag(tag)) links.try_emplace(std::move(post), std::move(*href));
    }
    // The whole shown line first, then what follows each of its spaces.
    for (std::size_t from = 0; from <= shownLine.size();) {
        if (auto found = links.find(NormaliseLine(shownLine.substr(from))); found != links.end()) return found->second;
        const std::size_t space = shownLine.find(' ', from);
        if (space == std::string_view::npos) break;
        from = space + 1;
    }
    return std::nullopt;
}

} // namespace quorlan::board
