// Any bytes as a page read without a browser: the markup parsed, its links
// collected and resolved, the posts found; and any bytes as a link's address.
#include "board/MarkupLinks.h"
#include "board/PagePosts.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto links = quorlan::board::CollectMarkupLinks(bytes, "http://board.test/bbs/list.php?id=a");
    const auto posts = quorlan::board::FindPagePosts(links);
    for (const auto& post : posts) {
        if (post.title.empty() || post.link.empty()) __builtin_trap();
    }
    (void)quorlan::board::LinkOfShownLine(posts, bytes);
    (void)quorlan::board::ResolveUrl("http://board.test/a/b/c?d#e", bytes);
    return 0;
}
