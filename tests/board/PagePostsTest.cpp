#include "base/Cp949.h"
#include "board/MarkupLinks.h"
#include "board/PagePosts.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace quorlan;

namespace {

// (title in UTF-8, link) of each post found on a page written in UTF-8.
using Found = std::vector<std::pair<std::string, std::string>>;

Found PostsOf(const std::string& page, const std::string& url) {
    Found found;
    for (const board::PagePost& post : board::FindPagePosts(board::CollectMarkupLinks(base::Cp949FromUtf8(page), url)))
        found.emplace_back(base::Utf8FromCp949(post.title), post.link);
    return found;
}

struct Style {
    const char* name;
    const char* url;
    const char* page;
    Found posts;
};

// One small page a board style. Besides the posts each holds what must not
// become a line: author and nickname links, comment counts, categories,
// pagination, menus, a "best posts" box or another board's latest posts.
const Style kStyles[] = {
    {"gnuboard-like: absolute links, the title on the line after <a>, a best box and another board's column",
     "http://127.0.0.1:8090/bbs/board.php?bo_table=free",
     R"P(<a href="#bo_list">본문 바로가기</a>
<ul class="gnb"><li><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free">자유게시판</a></li>
<li><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=notice">공지사항</a></li></ul>
<div class="best"><h2>인기글</h2><ul>
<li><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=3">지난주 인기글 하나</a></li>
<li><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=7">지난주 인기글 둘</a></li></ul></div>
<nav class="cate"><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;sca=%ED%8C%90%EB%A7%A4">판매</a>
<a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;sca=%EA%B5%AC%EB%A7%A4">구매</a></nav>
<table><tbody>
<tr class="bo_notice"><td class="td_num">공지</td><td class="td_subject"><div class="bo_tit">
    <a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=1">
                  거래 규칙 안내         </a></div></td>
<td class="td_name"><span class="sv_member">최고관리자</span></td></tr>
<tr><td class="td_num">27</td><td class="td_subject"><div class="bo_tit">
    <a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=27">
                  중고 냉장고 직거래 (부산)                    <span class="cnt_cmt">3</span></a>
    <span class="new_icon">N<span class="sound_only">새글</span></span></div></td>
<td class="td_name"><a href="javascript:;" class="sv_member">판매왕</a></td><td>12-11</td></tr>
<tr><td class="td_num">26</td><td class="td_subject"><div class="bo_tit">
    <a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=26">
                  자전거 팝니다</a></div></td>
<td class="td_name"><a href="http://127.0.0.1:8090/bbs/profile.php?mb_id=rider">라이더</a></td></tr>
</tbody></table>
<div class="pg"><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;page=1">1</a>
<a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;page=2">2</a></div>
<aside><h3>공지사항</h3><ul>
<li><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=notice&amp;wr_id=5">서버 점검 안내 드립니다</a></li>
<li><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=notice&amp;wr_id=4">개인정보 처리방침 변경 안내</a></li>
</ul></aside>)P",
     {{"거래 규칙 안내", "http://127.0.0.1:8090/bbs/board.php?bo_table=free&wr_id=1"},
      {"중고 냉장고 직거래 (부산) 3", "http://127.0.0.1:8090/bbs/board.php?bo_table=free&wr_id=27"},
      {"자전거 팝니다", "http://127.0.0.1:8090/bbs/board.php?bo_table=free&wr_id=26"}}},

    {"XE/Rhymix-like: one-line rows, author popups, notices, comment links, entities",
     "http://127.0.0.1:8091/board",
     R"P(<div class="menu"><a href="/">홈</a> <a href="/board">장터</a> <a href="/qna">질문</a></div>)P"
     R"P(<table class="bd_lst"><thead><tr><th>번호</th><th>제목</th><th>글쓴이</th></tr></thead><tbody>)P"
     R"P(<tr class="notice"><td class="no">공지</td><td class="title"><a href="/board/90">장터 이용 수칙</a></td><td class="author"><a href="#popup_menu_area" class="member_4" onclick="return false">운영자</a></td></tr>)P"
     R"P(<tr><td class="no">101</td><td class="title"><a href="/board/101">&lt;급처&gt; 캠핑 의자 A&amp;B</a> <a href="/board/101#comment" class="replyNum">[2]</a> <img src="/new.gif" alt="new"></td><td class="author"><a href="#popup_menu_area" class="member_0" onclick="return false">캠핑 의자 좋아</a></td><td class="time">10:32</td></tr>)P"
     R"P(<tr><td class="no">100</td><td class="title"><a href="/board/100">노트북 팝니다</a></td><td class="author"><a href="#popup_menu_area" class="member_7" onclick="return false">판다</a></td><td class="time">10:01</td></tr>)P"
     R"P(</tbody></table><div class="pagination"><a href="/index.php?mid=board&amp;page=1">1</a><a href="/index.php?mid=board&amp;page=2">2</a></div>)P",
     {{"장터 이용 수칙", "http://127.0.0.1:8091/board/90"},
      {"<급처> 캠핑 의자 A&B", "http://127.0.0.1:8091/board/101"},
      {"노트북 팝니다", "http://127.0.0.1:8091/board/100"}}},

    {"list items: a numeric post path, comment counts in their own link, a best box of the same board",
     "https://community.test/b/market?page=1",
     R"P(<ul class="best"><li><a href="/b/market/70011">베스트: 작년 최고 거래 후기</a></li>
<li><a href="/b/market/70020">베스트: 사기 조심하세요 꼭 보세요</a></li></ul>
<ul class="list">
<li class="item"><a class="subject" href="/b/market/80102">아이패드 에어 5세대 판매</a><a class="cmt" href="/b/market/80102#c_list">12</a><span class="nick">애플조아</span></li>
<li class="item"><a class="subject" href="/b/market/80101">모니터암 싸게 드려요</a><a class="cmt" href="/b/market/80101#c_list">4</a><span class="nick">책상</span></li>
<li class="item"><a class="subject" href="/b/market/80099">
   게이밍 의자
   <em>급처</em>
</a></li></ul>
<div class="paging"><a href="/b/market?page=2">다음</a></div>)P",
     {{"아이패드 에어 5세대 판매", "https://community.test/b/market/80102"},
      {"모니터암 싸게 드려요", "https://community.test/b/market/80101"},
      {"게이밍 의자 급처", "https://community.test/b/market/80099"}}},

    {"div blocks with relative links, categories and nicknames inside the row",
     "http://shop.test/cafe/list.php?board=trade",
     R"P(<div class="list">
<div class="row"><div class="cat"><a href="list.php?board=trade&amp;cat=sell">판매</a></div><div class="subj"><a href="read.php?board=trade&amp;id=512"><span>[서울]</span> <b>유모차 팝니다</b></a></div><div class="nick"><a href="../member/info.php?id=mom">엄마</a></div></div>
<div class="row"><div class="cat"><a href="list.php?board=trade&amp;cat=buy">구매</a></div><div class="subj"><a href="read.php?board=trade&amp;id=511"><span>[부산]</span> <b>카시트 삽니다</b></a></div><div class="nick"><a href="../member/info.php?id=dad">아빠</a></div></div>
</div>)P",
     {{"[서울] 유모차 팝니다", "http://shop.test/cafe/read.php?board=trade&id=512"},
      {"[부산] 카시트 삽니다", "http://shop.test/cafe/read.php?board=trade&id=511"}}},

    {"a post open above the list: its previous/next links are not the list",
     "http://127.0.0.1:8090/bbs/board.php?bo_table=free&wr_id=26",
     R"P(<article><h1>자전거 팝니다</h1><p>상태 좋습니다. <a href="http://other.test/shop">구매처</a></p>
<ul class="prevnext"><li><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=27">이전글 중고 냉장고 직거래 (부산)</a></li>
<li><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=25">다음글 책상 나눔합니다 가져가세요</a></li></ul></article>
<table><tbody>
<tr><td><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=27">중고 냉장고</a></td></tr>
<tr><td><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=26">자전거 팝니다</a></td></tr>
<tr><td><a href="http://127.0.0.1:8090/bbs/board.php?bo_table=free&amp;wr_id=25">책상 나눔</a></td></tr>
</tbody></table>)P",
     {{"중고 냉장고", "http://127.0.0.1:8090/bbs/board.php?bo_table=free&wr_id=27"},
      {"자전거 팝니다", "http://127.0.0.1:8090/bbs/board.php?bo_table=free&wr_id=26"},
      {"책상 나눔", "http://127.0.0.1:8090/bbs/board.php?bo_table=free&wr_id=25"}}},

    {"zboard-like: relative rows, an absolute notice, same titles kept twice",
     "http://127.0.0.1:8080/bbs/zboard.php?id=share",
     R"P(<table><tr class="notice"><td><a href="http://127.0.0.1:8080/bbs/view.php?id=share&amp;no=0"><b>공지</b></a></td></tr>
<tr><td><a href="view.php?id=share&amp;no=2">같은 제목&nbsp;글</a></td></tr>
<tr><td><a href="view.php?id=share&amp;no=1">같은 제목 글</a></td></tr></table>
<div><a href="zboard.php?id=share&amp;page=1">[1]</a>&nbsp;<a href="zboard.php?id=share&amp;page=2">[2]</a></div>)P",
     {{"공지", "http://127.0.0.1:8080/bbs/view.php?id=share&no=0"},
      {"같은 제목 글", "http://127.0.0.1:8080/bbs/view.php?id=share&no=2"},
      {"같은 제목 글", "http://127.0.0.1:8080/bbs/view.php?id=share&no=1"}}},

    {"no list: a login page", "http://127.0.0.1:8080/login",
     R"P(<form><input name="id"></form><a href="/join">회원가입</a> <a href="javascript:history.back()">뒤로 가기 버튼입니다</a>)P",
     {}},
};

} // namespace

TEST(PagePosts, EachBoardStyleGivesItsPostsAndNothingElse) {
    for (const Style& style : kStyles) EXPECT_EQ(PostsOf(style.page, style.url), style.posts) << style.name;
}

TEST(PagePosts, LinesAreTheTitles) {
    const std::vector<board::PagePost> posts{{"a", "http://x/1"}, {"b", "http://x/2"}};
    EXPECT_EQ(board::PostLines(posts), (board::PostList{"a", "b"}));
}

TEST(PagePosts, SpacesAreCollapsedAndTrimmed) {
    EXPECT_EQ(board::CollapseSpaces(" \t a\r\n\xC2\xA0 b\xE3\x80\x80"
                                    "c  "),
              "a b c");
    EXPECT_EQ(board::CollapseSpaces(" \n "), "");
}

TEST(PagePosts, TheLinkOfAShownLine) {
    const std::vector<board::PagePost> posts{
        {"Bike [3] 12:30", "http://x/view?no=1"}, {"Car", "http://x/view?no=2"}, {"Car", "http://x/view?no=3"},
        {"2024", "http://x/view?no=4"}};
    struct Case {
        const char* shown;
        std::optional<std::string> link;
    };
    const Case cases[] = {
        {"Bike [15] 13:45", "http://x/view?no=1"},
        {"오후 3:04:05 Car", "http://x/view?no=2"}, // time prefix; the first of equal titles
        {"Boat", std::nullopt},
        {"12:00:00 ", std::nullopt}, // a title of digits only names nothing
    };
    for (const Case& c : cases) EXPECT_EQ(board::LinkOfShownLine(posts, c.shown), c.link) << c.shown;
}

TEST(MarkupLinks, AddressesResolveAsABrowserResolvesThem) {
    const std::string base = "http://h.test/bbs/list.php?id=a#top";
    struct Case {
        const char* ref;
        const char* resolved;
    };
    const Case cases[] = {
        {"view.php?no=1", "http://h.test/bbs/view.php?no=1"},
        {"../img/x.gif", "http://h.test/img/x.gif"},
        {"/board/101", "http://h.test/board/101"},
        {"?page=2", "http://h.test/bbs/list.php?page=2"},
        {"//cdn.test/a", "http://cdn.test/a"},
        {"HTTPS://Other.test", "https://Other.test/"},
        {"  view.php?\nno=2 ", "http://h.test/bbs/view.php?no=2"},
        {"./a/./b/../c", "http://h.test/bbs/a/c"},
        {"", "http://h.test/bbs/list.php?id=a"},
        {"javascript:go(1)", "javascript:go(1)"},
    };
    for (const Case& c : cases) EXPECT_EQ(board::ResolveUrl(base, c.ref), c.resolved) << c.ref;
}

TEST(MarkupLinks, RecordsHoldTheResolvedAddressTheTextAndThePath) {
    const auto links = board::CollectMarkupLinks(
        "<p><a href='#x'>jump</a><a href='mailto:a@b'>mail</a><a href=' v?no=1'>t<script>s</script><i>u</i></a></p>"
        "<noscript><a href='w'>hidden</a></noscript>",
        "http://h.test/d/list");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0], (board::LinkRecord{"http://h.test/d/v?no=1", "tu", {0, 1, 0, 2}}));
}
