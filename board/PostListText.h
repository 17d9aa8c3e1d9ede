#pragma once
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::board {

// A post list: the post lines of one page in page order, duplicates kept,
// never sorted. Lines are cp949 bytes.
using PostList = std::vector<std::string>;

// The list as text: every line followed by CR LF, the last one included; an
// empty list is the empty text.
std::string WritePostListText(const PostList& list);

// Reads a post-list text: it ends at its first NUL; CR LF, a lone CR and a
// lone LF each end a line (so LF CR gives an empty line between); a final line
// without a break is still a line. The result replaces whatever the caller held.
PostList ReadPostListText(std::string_view text);

// The line rule shared by post-list texts and page markup. Calls onLine with a
// view of each line, in order.
template <class OnLine>
void ForEachTextLine(std::string_view text, OnLine&& onLine) {
    if (text.empty()) return; // data() may be null then
    const char* p = text.data();
    const char* end = p + text.size();
    if (const void* nul = std::memchr(p, '\0', text.size())) end = static_cast<const char*>(nul);
    while (p < end) {
        const char* start = p;
        while (p < end && *p != '\r' && *p != '\n') ++p;
        onLine(std::string_view(start, static_cast<std::size_t>(p - start)));
        if (p < end && *p == '\r') ++p;
        if (p < end && *p == '\n') ++p;
    }
}

} // namespace quorlan::board
