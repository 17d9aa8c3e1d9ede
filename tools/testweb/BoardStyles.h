#pragma once
#include "tools/testweb/Board.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::testweb {

// The board in the list markup of other board engines and communities. Every
// style draws the same posts (the one Board, so a post added by /admin/post or
// the automatic poster shows on all of them), each with markup of its own
// written after the engine's public templates. Post 0 is the notice on each.
//
//  style     list page (the address to watch)     post page               imitates
//  gnuboard  /bbs/board.php?bo_table=free           /bbs/board.php?bo_table=free&wr_id=N
//                                                                           gnuboard5 basic skin (UTF-8)
//  rhymix    /board                                 /board/N                XE/Rhymix default skin (UTF-8)
//  forum     /forum                                 /post/N                 list items (<ul><li>) of a
//                                                                           modern forum (UTF-8)
//  cafe      /cafe/market, list in the frame         /cafe/ArticleRead.nhn?clubid=10001&articleid=N
//            /cafe/ArticleList.nhn?search.clubid=10001&search.menuid=5     portal café (frame EUC-KR)
//  script    /app/board (script /app/board.js,      /app/post/N             list drawn by script after
//            data /app/api/posts)                                           load (UTF-8)
//  clien     /service/board/park                    /service/board/park/N   Clien div blocks (UTF-8)
//  ppomppu   /zboard/zboard.php?id=market           /zboard/view.php?id=market&no=N
//                                                                           Ppomppu table (EUC-KR)
//
// Side boxes link elsewhere on purpose: gnuboard shows the latest posts of its
// notice board (/bbs/board.php?bo_table=notice, posts 1 to 3) and the most read
// posts of its own board; the café's outer page has the most read posts too.
struct BoardStyle {
    const char* name;
    const char* listPath; // from the origin
    const char* imitates; // UTF-8
};
const std::vector<BoardStyle>& BoardStyles();

inline constexpr const char* kHtmlUtf8 = "text/html; charset=utf-8";
inline constexpr const char* kHtmlEucKr = "text/html; charset=euc-kr";
inline constexpr const char* kJavaScript = "text/javascript; charset=utf-8";
inline constexpr const char* kJsonUtf8 = "application/json; charset=utf-8";

// What a style's page is drawn from.
struct StylePage {
    std::vector<Post> newest;  // the list, newest first
    std::vector<Post> popular; // the most read posts, for the boxes that show them
    std::optional<Post> open;  // the post opened above the list, on a post page
    std::string origin;        // "http://host:port", for absolute addresses
    std::chrono::system_clock::time_point now;
};

// The notice every style shows above its posts (number 0).
Post StyleNotice(std::chrono::system_clock::time_point now);
// The posts of gnuboard's notice board, numbered from 1.
std::vector<Post> NoticeBoardPosts(std::chrono::system_clock::time_point now);
// Up to count of the posts, most read first.
std::vector<Post> MostRead(std::vector<Post> posts, std::size_t count);

// Each returns the page's bytes in the charset its content type names.
std::string RenderGnuboard(const StylePage& page, std::string_view table); // kHtmlUtf8; table "free" or "notice"
std::string RenderRhymix(const StylePage& page);                            // kHtmlUtf8
std::string RenderForum(const StylePage& page);                             // kHtmlUtf8
std::string RenderCafeOuter(const StylePage& page);                         // kHtmlUtf8
std::string RenderCafeFrame(const StylePage& page);                         // kHtmlEucKr
std::string RenderScriptShell(const StylePage& page);                       // kHtmlUtf8
std::string RenderScriptCode();                                             // kJavaScript
std::string RenderScriptData(const StylePage& page);                        // kJsonUtf8
std::string RenderClien(const StylePage& page);                             // kHtmlUtf8
std::string RenderPpomppu(const StylePage& page);                           // kHtmlEucKr

} // namespace quorlan::testweb
