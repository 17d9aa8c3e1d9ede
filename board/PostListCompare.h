#pragma once
#include "PostListText.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::board {

// A page on which this many lines or more are new is only reported, never
// sent line by line (an empty server list against a full page, for example).
inline constexpr std::size_t kNewLineCutOff = 20;

// The line as compared: every "0".."9" and every space removed (view and
// comment counts, dates). No byte of a cp949 double-byte character lies in
// those ranges, so no character is split.
std::string NormaliseLine(std::string_view line);
// The same into `out` (replacing what it held), reusing its storage.
void NormaliseInto(std::string& out, std::string_view line);

// Positions, in page order, of the page lines whose normalised form equals
// the normalised form of no server line. Duplicated page lines are reported
// each time. Hashes the normalised server lines: linear in both lists.
std::vector<std::size_t> FindNewLines(const PostList& page, const PostList& server);

} // namespace quorlan::board
