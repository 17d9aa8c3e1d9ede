#pragma once
#include "PostListText.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Finding the posts of a board's list page. The page is read as its links
// (LinkRecord, collected from the document tree by the browser's page script
// or, for pages fetched without a browser, by CollectMarkupLinks); which links
// are posts is decided here, in plain C++, so every client of a build makes
// the same lines from the same page.
//
// The rule, in order:
//  1. A link takes part when its text, with runs of white space (ASCII white
//     space, no-break and ideographic spaces) made one space and trimmed, is
//     not empty. (The collectors already leave out links that only jump within
//     the page, "#..." addresses, and links that are not http or https.)
//  2. A link whose address equals the address of the link right before it (a
//     title and its comment count, a picture and its caption) adds nothing:
//     the first of them stands for the post.
//  3. The links are grouped by address pattern: the address with every run of
//     the digits 0-9 replaced by one "#". Links to the posts of one board share
//     a pattern (".../board.php?bo_table=free&wr_id=#", "/free/#"); pagination
//     ("page=#"), another board ("bo_table=notice"), author pages
//     ("mb_id=..."), categories and menus fall into other groups.
//  4. Within a pattern, in page order, each link has a tree path (the position
//     of each of its ancestors among its parent's elements, frames included
//     under their frame element). Two neighbouring links diverge at the depth
//     of their common path prefix. The rows of one list diverge all at the
//     same depth (the list element's children); where two neighbours diverge
//     higher up than a pair next to them, a different box starts: the pattern
//     is cut there into runs. So a "best posts" box, a side column or
//     previous/next links above the list are runs of their own, even when they
//     link to the same board.
//  5. The run with the most worded links (texts holding a letter, ASCII or
//     not, so page numbers do not count) is the post list; between runs with as many, the one whose texts are longest in
//     sum (cp949 bytes), then the first in page order. Every link of it is a
//     post, in page order, notices included. A board list is thus expected to
//     show more posts than any box beside it.
// A page whose best run holds fewer than two worded links has no posts (a lone
// link is no list; a board showing a single post is read once it has two).
namespace quorlan::board {

inline constexpr std::size_t kMinPosts = 2;

// One link of the page, in document order. href is the absolute address as
// the browser resolved it; text the link's text content (scripts and styles
// left out) in UTF-8, spaces not yet collapsed; path the link element's index
// among its parent's child elements at each level from the document down.
struct LinkRecord {
    std::string href;
    std::string text;
    std::vector<int> path;
    bool operator==(const LinkRecord&) const = default;
};

// A post of the list page: its title as the reader sees it (cp949, spaces
// collapsed) and its link (the absolute address, as collected).
struct PagePost {
    std::string title;
    std::string link;
    bool operator==(const PagePost&) const = default;
};

// The posts of a page, in page order, duplicates kept. Linear in the links'
// size apart from sorting the patterns.
std::vector<PagePost> FindPagePosts(const std::vector<LinkRecord>& links);

// The post lines: the titles, in page order.
PostList PostLines(const std::vector<PagePost>& posts);

// The text as read: runs of white space made one space, trimmed.
std::string CollapseSpaces(std::string_view utf8);

// The address pattern of rule 3.
std::string AddressPattern(std::string_view href);

// The link of the post a shown line names: the first post whose title matches
// the line as the comparison does (digits and spaces ignored). The shown line
// may carry a prefix ending in a space (the message list's time of day): the
// whole line is tried first, then what follows each space in turn.
std::optional<std::string> LinkOfShownLine(const std::vector<PagePost>& posts, std::string_view shownLine);

} // namespace quorlan::board
