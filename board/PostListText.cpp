#include "PostListText.h"

namespace quorlan::board {

std::string WritePostListText(const PostList& list) {
    std::size_t size = 0;
    for (const auto& line : list) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& line : list) {
        text += line;
        text += "\r\n";
    }
    return text;
}

PostList ReadPostListText(std::string_view text) {
    PostList list;
    ForEachTextLine(text, [&](std::string_view line) { list.emplace_back(line); });
    return list;
}

} // namespace quorlan::board
