#pragma once
#include "PostListText.h"

#include <string>
#include <string_view>

// Turning the body markup of a board page into its post list. Every client of
// a board must make the same lines from the same page, so these rules are kept
// exactly, odd results included. Positions in the comments are 1-based.
namespace quorlan::board {

// Repetitions of the anchor-text loop per markup line; pieces after the 51st
// tag of a line are never collected.
inline constexpr int kAnchorRepetitions = 51;

// Splits off the first tag of text. lt and gt are the positions of the first
// "<" and of the first ">" (both searched from the start). Without "<" the tag
// keeps its value and rest becomes empty. Otherwise the tag is the bytes
// between lt and gt (empty when gt <= lt, gt = 0 included) and rest is
// everything after gt (the whole text when there is no ">"). Both outputs are
// views into text, except a tag left unchanged.
void SplitFirstTag(std::string_view text, std::string_view& tag, std::string_view& rest);

// The text a markup line shows inside its relative links: pieces before each
// tag are collected while the link mark is on; a tag starting with "A"/"a"
// turns it on unless it holds "HTTP" in any case, a tag holding the exact
// bytes "/a" turns it off; a piece holding "&nbsp;" is dropped whole. A broken
// "<" (no ">" after it) stops the line from advancing, so its piece repeats in
// every remaining repetition. Linear in the line (plus the repeated output).
std::string ExtractAnchorText(std::string_view line);

// The first tag of a markup line that turns the link mark on (the tag of its
// first relative link), empty when there is none.
std::string_view FirstLinkTag(std::string_view line);

// One left-to-right pass replacing "&amp;" by "&" (exact, lower case, inside
// tags too); "&amp;amp;" becomes "&amp;". Other references stay.
std::string ReplaceAmpReferences(std::string_view markup);

// The markup lines of a page: "&amp;" pass, then the post-list line rule
// (NUL ends the text; CR LF, lone CR, lone LF end a line).
PostList ReadPageLines(std::string_view markup);

// The post list of a page's body markup (cp949): for each markup line whose
// upper-cased text holds "<A", its anchor text when not empty. Linear in the
// markup size.
PostList ExtractPostList(std::string_view markup);

} // namespace quorlan::board
