#pragma once
#include "tools/testweb/Board.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::testweb {

// Rows on the list page: the newest posts of the board.
inline constexpr std::size_t kListPageRows = 25;

// The pages of the fixture, all cp949 with an EUC-KR charset declaration.
// origin is "http://host:port", used where the page holds absolute addresses.

// Text and attribute values as character references, escaped exactly as the
// browser escapes them when it serialises the body again (text: "&", "<", ">";
// attribute values: "&", '"'), so the markup the client reads back equals the
// markup served. Byte-wise, which is safe for cp949: no trail byte of a
// double-byte character is one of these.
std::string EscapeText(std::string_view cp949);
std::string EscapeAttribute(std::string_view cp949);

// strftime in local time.
std::string FormatDate(std::chrono::system_clock::time_point when, const char* format);

// The zeroboard-style list page. Every post is one <tr> on one line of markup,
// so that the line structure survives the browser's re-serialisation of the body.
std::string RenderBoardList(const std::vector<Post>& newestFirst, std::string_view origin);
std::string RenderPostView(const Post& post, std::string_view origin);
// The index: the zeroboard-style board, the portals, the patch list and every
// board style with the address to watch.
std::string RenderHome(std::string_view origin);
std::string RenderPortal(std::string_view portalNameUtf8);
std::string RenderSmsReply(bool accepted);
std::string RenderNotFound(std::string_view what);

} // namespace quorlan::testweb
