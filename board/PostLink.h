#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace quorlan::board {

// The link of the post a shown line names, on a board page's body markup
// (cp949): the first relative link of the markup line whose post line (as the
// post list is made) matches the shown line as the comparison does, digits
// and spaces ignored. The shown line may carry a prefix ending in a space
// (the message list's time of day): the whole line is tried first, then what
// follows each space in turn. The first row on the page wins among equal lines. The address as the link writes it
// ("&amp;" already read), or nullopt when no line matches or its link has no address.
std::optional<std::string> FindPostLink(std::string_view markup, std::string_view shownLine);

// The "href" value of a tag ("a href=\"view.php?no=1\"" gives view.php?no=1).
std::optional<std::string> HrefOfTag(std::string_view tag);

} // namespace quorlan::board
