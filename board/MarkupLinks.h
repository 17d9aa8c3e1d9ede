#pragma once
#include "PagePosts.h"

#include <string>
#include <string_view>
#include <vector>

// The links of a page fetched without a browser (the web fixture's own checks,
// simulated clients, benchmarks), collected from its markup the way the board
// window's page script collects them from the browser's document: the markup
// is parsed as a browser parses HTML (no scripts run, frames are not loaded).
namespace quorlan::board {

// The links of a cp949 page whose address is pageUrl: every "a" element with
// an href, in document order, except addresses that start with "#" and
// addresses that, resolved against pageUrl, are not http or https. Elements
// inside "noscript" are left out, as a browser running scripts does. Any bytes
// are accepted.
std::vector<LinkRecord> CollectMarkupLinks(std::string_view markup, std::string_view pageUrl);

// The post list of such a page: its links' posts (FindPagePosts), as lines.
PostList ExtractPostList(std::string_view markup, std::string_view pageUrl);

// An address as a link on the page at base resolves it (scheme made lower
// case; "." and ".." segments removed; white space around it trimmed). A
// reference with a scheme of its own is returned as it is apart from that.
std::string ResolveUrl(std::string_view base, std::string_view ref);

} // namespace quorlan::board
