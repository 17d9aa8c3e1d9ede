#include "PagePosts.h"

#include "PostListCompare.h"
#include "base/Cp949.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <utility>
#include <unordered_map>

namespace quorlan::board {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the white-space character at text[at], 0 when there is none:
// ASCII space, tab, CR, LF, FF, U+00A0 (C2 A0) and U+3000 (E3 80 80).
std::size_t SpaceAt(std::string_view text, std::size_t at) {
    const char c = text[at];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') return 1;
    if (text.substr(at, 2) == "\xC2\xA0") return 2;
    if (text.substr(at, 3) == "\xE3\x80\x80") return 3;
    return 0;
}

std::size_t CommonDepth(const std::vector<int>& a, const std::vector<int>& b) {
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return static_cast<std::size_t>(ia - a.begin());
}

// A worded text holds a letter: an ASCII letter or any non-ASCII character
// (cp949 lead bytes). Page numbers ("1", "[2]", "<<") are not worded.
bool IsWorded(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x80 || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
    });
}

struct Candidate {
    std::string title; // cp949
    const LinkRecord* link;
};

} // namespace

std::string CollapseSpaces(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    bool pendingSpace = false;
    for (std::size_t at = 0; at < utf8.size();) {
        if (const std::size_t space = SpaceAt(utf8, at)) {
            pendingSpace = !out.empty();
            at += space;
            continue;
        }
        if (pendingSpace) out += ' ';
        pendingSpace = false;
        out += utf8[at++];
    }
    return out;
}

std::string AddressPattern(std::string_view href) {
    std::string pattern;
    pattern.reserve(href.size());
    for (std::size_t at = 0; at < href.size();) {
        if (!IsDigit(href[at])) {
            pattern += href[at++];
            continue;
        }
        pattern += '#';
        while (at < href.size() && IsDigit(href[at])) ++at;
    }
    return pattern;
}

std::vector<PagePost> FindPagePosts(const std::vector<LinkRecord>& links) {
    // Rules 1 and 2.
    std::vector<Candidate> candidates;
    const LinkRecord* previous = nullptr;
    for (const LinkRecord& link : links) {
        std::string text = CollapseSpaces(link.text);
        if (text.empty()) continue;
        const bool sameAsPrevious = previous && previous->href == link.href;
        previous = &link;
        if (sameAsPrevious) continue;
        candidates.push_back({base::Cp949FromUtf8(text), &link});
    }

    // Rule 3: positions of the candidates of each pattern, in page order.
    std::map<std::string, std::vector<std::size_t>> patterns;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        patterns[AddressPattern(candidates[i].link->href)].push_back(i);

    // Rules 4 and 5.
    const std::vector<std::size_t>* bestGroup = nullptr;
    std::size_t bestBegin = 0;
    std::size_t bestEnd = 0;
    std::pair<std::size_t, std::size_t> bestScore{0, 0}; // (worded links, text bytes)
    auto consider = [&](const std::vector<std::size_t>& group, std::size_t begin, std::size_t end) {
        std::pair<std::size_t, std::size_t> score{0, 0};
        for (std::size_t k = begin; k < end; ++k) {
            const std::string& title = candidates[group[k]].title;
            if (IsWorded(title)) ++score.first;
            score.second += title.size();
        }
        const bool earlier = bestGroup && group[begin] < (*bestGroup)[bestBegin];
        if (score > bestScore || (score == bestScore && earlier)) {
            bestGroup = &group;
            bestBegin = begin;
            bestEnd = end;
            bestScore = score;
        }
    };
    for (const auto& [pattern, group] : patterns) {
        // diverge[k]: depth of the common path of links k-1 and k (k >= 1).
        std::vector<std::size_t> diverge(group.size(), 0);
        for (std::size_t k = 1; k < group.size(); ++k)
            diverge[k] = CommonDepth(candidates[group[k - 1]].link->path, candidates[group[k]].link->path);
        std::size_t begin = 0;
        for (std::size_t k = 1; k < group.size(); ++k) {
            const bool higherThanBefore = k >= 2 && diverge[k] < diverge[k - 1];
            const bool higherThanAfter = k + 1 < group.size() && diverge[k] < diverge[k + 1];
            if (higherThanBefore || higherThanAfter) {
                consider(group, begin, k);
                begin = k;
            }
        }
        if (!group.empty()) consider(group, begin, group.size());
    }

    std::vector<PagePost> posts;
    if (!bestGroup || bestScore.first < kMinPosts) return posts;
    posts.reserve(bestEnd - bestBegin);
    for (std::size_t k = bestBegin; k < bestEnd; ++k) {
        Candidate& post = candidates[(*bestGroup)[k]];
        posts.push_back({std::move(post.title), post.link->href});
    }
    return posts;
}

PostList PostLines(const std::vector<PagePost>& posts) {
    PostList lines;
    lines.reserve(posts.size());
    for (const PagePost& post : posts) lines.push_back(post.title);
    return lines;
}

std::optional<std::string> LinkOfShownLine(const std::vector<PagePost>& posts, std::string_view shownLine) {
    // The first post of each normalised title.
    std::unordered_map<std::string, const std::string*> links;
    for (const PagePost& post : posts) {
        std::string title = NormaliseLine(post.title);
        if (!title.empty()) links.try_emplace(std::move(title), &post.link);
    }
    for (std::size_t from = 0; from <= shownLine.size();) {
        if (auto found = links.find(NormaliseLine(shownLine.substr(from))); found != links.end()) return *found->second;
        const std::size_t space = shownLine.find(' ', from);
        if (space == std::string_view::npos) break;
        from = space + 1;
    }
    return std::nullopt;
}

} // namespace quorlan::board
