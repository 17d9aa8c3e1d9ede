#include "PostListCompare.h"

#include <unordered_set>

namespace quorlan::board {

void NormaliseInto(std::string& out, std::string_view line) {
    out.clear();
    for (char c : line) {
        if ((c < '0' || c > '9') && c != ' ') out += c;
    }
}

std::string NormaliseLine(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    NormaliseInto(out, line);
    return out;
}

std::vector<std::size_t> FindNewLines(const PostList& page, const PostList& server) {
    std::unordered_set<std::string> known;
    known.reserve(server.size());
    for (const auto& line : server) known.insert(NormaliseLine(line));
    std::vector<std::size_t> fresh;
    std::string key;
    for (std::size_t i = 0; i < page.size(); ++i) {
        NormaliseInto(key, page[i]);
        if (!known.contains(key)) fresh.push_back(i);
    }
    return fresh;
}

} // namespace quorlan::board
