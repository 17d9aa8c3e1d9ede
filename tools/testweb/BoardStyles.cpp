#include "tools/testweb/BoardStyles.h"

#include "base/Cp949.h"
#include "tools/testweb/BoardPages.h"
#include "tools/testweb/MarketTitles.h"

#include <nlohmann/json.hpp>

#include <algorithm>

// The markup below is written for this fixture after the public templates of
// the engines named in BoardStyles(): their structure, class names and the place
// of links and titles, not their code. Pages are built in UTF-8 (the literals'
// encoding); the EUC-KR styles convert the finished page.

namespace quorlan::testweb {
namespace {

using std::chrono::hours;

// A transparent one-pixel image, so that icons load without asking the fixture.
constexpr const char* kBlank = "data:image/gif;base64,R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==";

const char* const kCategories[] = {"디지털", "가전", "직거래", "생활", "나눔"};

std::string Utf8(std::string_view cp949) { return base::Utf8FromCp949(cp949); }
std::string Text(std::string_view cp949) { return EscapeText(Utf8(cp949)); }
std::string Attr(std::string_view cp949) { return EscapeAttribute(Utf8(cp949)); }
std::string Num(int n) { return std::to_string(n); }

int CategoryOf(const Post& post) { return post.no % static_cast<int>(std::size(kCategories)); }
bool IsNew(const Post& post, const StylePage& page) { return page.now - post.created < hours(24); }

// Today's posts show the time, older ones the date, as list pages do.
std::string ShortTime(const Post& post, const StylePage& page, const char* dateFormat) {
    return FormatDate(post.created, IsNew(post, page) ? "%H:%M" : dateFormat);
}

std::string Head(std::string_view titleUtf8, bool eucKr, std::string_view css) {
    std::string head = "<!DOCTYPE html>\n<html lang=\"ko\">\n<head>\n";
    head += eucKr ? "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-kr\">\n"
                  : "<meta charset=\"utf-8\">\n";
    head += "<title>" + std::string(titleUtf8) + "</title>\n<style>\n" + std::string(css) + "</style>\n</head>\n";
    return head;
}

// The posts before and after the open one in the list, when it is there.
std::pair<const Post*, const Post*> Neighbours(const StylePage& page) {
    if (!page.open) return {nullptr, nullptr};
    const auto at = std::find_if(page.newest.begin(), page.newest.end(),
                                 [&](const Post& post) { return post.no == page.open->no; });
    if (at == page.newest.end()) return {nullptr, nullptr};
    const Post* older = at + 1 == page.newest.end() ? nullptr : &*(at + 1);
    const Post* newer = at == page.newest.begin() ? nullptr : &*(at - 1);
    return {older, newer};
}

// ---- gnuboard5 basic skin -------------------------------------------------

std::string GnuLink(const StylePage& page, std::string_view table, int no) {
    return EscapeAttribute(page.origin) + "/bbs/board.php?bo_table=" + std::string(table) + "&amp;wr_id=" + Num(no);
}

std::string GnuName(const Post& post) {
    const char* kind = MemberNumber(post.writer) > 0 ? "sv_member" : "sv_guest";
    return "<span class=\"" + std::string(kind) + "\">" + Text(post.writer) + "</span>";
}

std::string GnuRow(const StylePage& page, std::string_view table, const Post& post, bool notice) {
    std::string row = notice ? "<tr class=\"bo_notice\">\n" : "<tr class=\"\">\n";
    row += notice ? "    <td class=\"td_num2\">\n    <strong class=\"notice_icon\">공지</strong>    </td>\n"
                  : "    <td class=\"td_num2\">\n    " + Num(post.no) + "    </td>\n";
    row += "    <td class=\"td_subject\" style=\"padding-left:0px\">\n        <div class=\"bo_tit\">\n";
    if (!notice) {
        // The category links to the board filtered by it: same script, no post number.
        const char* category = kCategories[CategoryOf(post)];
        row += "            <a href=\"" + EscapeAttribute(page.origin) + "/bbs/board.php?bo_table=" + std::string(table) +
               "&amp;sca=" + category + "\" class=\"bo_cate_link\">" + category + "</a>\n";
    }
    row += "            <a href=\"" + GnuLink(page, table, post.no) + "\">\n";
    row += "                                          " + Text(post.title) + "                    </a>\n";
    if (IsNew(post, page)) row += "            <span class=\"new_icon\">N<span class=\"sound_only\">새글</span></span>\n";
    if (post.comments > 0) {
        row += "            <span class=\"sound_only\">댓글</span><span class=\"cnt_cmt\">" + Num(post.comments) +
               "</span><span class=\"sound_only\">개</span>\n";
    }
    row += "        </div>\n    </td>\n";
    row += "    <td class=\"td_name sv_use\">" + GnuName(post) + "</td>\n";
    row += "    <td class=\"td_num\">" + Num(post.views) + "</td>\n";
    row += "    <td class=\"td_datetime\">" + ShortTime(post, page, "%m-%d") + "</td>\n\n</tr>\n";
    return row;
}

std::string GnuView(const StylePage& page, std::string_view table) {
    const Post& post = *page.open;
    std::string view = "<article id=\"bo_v\" style=\"width:100%\">\n    <header>\n        <h2 id=\"bo_v_title\">\n"
                       "            <span class=\"bo_v_tit\">\n            " +
                       Text(post.title) + "</span>\n        </h2>\n    </header>\n";
    view += "    <section id=\"bo_v_info\">\n        <h2>페이지 정보</h2>\n        <div class=\"profile_info\"><div "
            "class=\"profile_info_ct\">\n            <span class=\"sound_only\">작성자</span> <strong>" +
            GnuName(post) + "</strong><br>\n            <span class=\"sound_only\">댓글</span><strong><a "
                            "href=\"#bo_vc\"> " +
            Num(post.comments) + "건</a></strong>\n            <span class=\"sound_only\">조회</span><strong>" +
            Num(post.views) + "회</strong>\n            <strong class=\"if_date\"><span class=\"sound_only\">작성일"
                              "</span>" +
            FormatDate(post.created, "%y-%m-%d %H:%M") + "</strong>\n        </div></div>\n    </section>\n";
    view += "    <section id=\"bo_v_atc\">\n        <h2 id=\"bo_v_atc_title\">본문</h2>\n        <div id=\"bo_v_con\">" +
            Text(post.body) + "</div>\n    </section>\n";
    // The neighbours' titles link to posts of this board above the list.
    const auto [older, newer] = Neighbours(page);
    view += "    <ul class=\"bo_v_nb\">\n";
    if (older) {
        view += "        <li class=\"btn_prv\"><span class=\"nb_tit\">이전글</span><a href=\"" +
                GnuLink(page, table, older->no) + "\">" + Text(older->title) + "</a></li>\n";
    }
    if (newer) {
        view += "        <li class=\"btn_next\"><span class=\"nb_tit\">다음글</span><a href=\"" +
                GnuLink(page, table, newer->no) + "\">" + Text(newer->title) + "</a></li>\n";
    }
    view += "    </ul>\n    <section id=\"bo_vc\"><h2>댓글목록</h2></section>\n</article>\n";
    return view;
}

// ---- XE/Rhymix default skin ----------------------------------------------

std::string XeAuthor(const Post& post) {
    return "<a href=\"#popup_menu_area\" class=\"member_" + Num(MemberNumber(post.writer)) +
           "\" onclick=\"return false\">" + Text(post.writer) + "</a>";
}

std::string XeReplies(const Post& post) {
    if (post.comments == 0) return {};
    return " <a href=\"/board/" + Num(post.no) + "#comment\" class=\"replyNum\" title=\"댓글\">[" +
           Num(post.comments) + "]</a>";
}

// A notice row as the skin lays it out: the title on a line of its own.
std::string XeNoticeRow(const Post& post) {
    return "<tr class=\"notice\">\n  <td class=\"notice\">공지</td>\n  <td class=\"title\">\n   <a href=\"/board/" +
           Num(post.no) + "\">\n    " + Text(post.title) + "\n   </a>\n  " + XeReplies(post) +
           "\n  </td>\n  <td class=\"author\">" + XeAuthor(post) + "</td>\n  <td class=\"time\">" +
           FormatDate(post.created, "%Y.%m.%d") + "</td>\n  <td class=\"readNum\">" + Num(post.views) +
           "</td>\n</tr>\n";
}

// An ordinary row: every cell on one markup line.
std::string XeRow(const StylePage& page, const Post& post) {
    std::string row = "<tr><td class=\"no\">" + Num(post.no) + "</td> <td class=\"title\"><a href=\"/board/" +
                      Num(post.no) + "\">" + Text(post.title) + "</a>" + XeReplies(post);
    if (IsNew(post, page)) row += " <img src=\"" + std::string(kBlank) + "\" alt=\"new\" title=\"new\" class=\"addon_new\" />";
    row += " </td> <td class=\"author\">" + XeAuthor(post) + "</td> <td class=\"time\">" +
           FormatDate(post.created, "%Y.%m.%d") + "</td> <td class=\"readNum\">" + Num(post.views) + "</td></tr>\n";
    return row;
}

std::string XeRead(const Post& post) {
    return "<div class=\"board_read\">\n <div class=\"read_header\">\n  <h1><a href=\"/board/" + Num(post.no) + "\">" +
           Text(post.title) + "</a></h1>\n  <p class=\"meta\">" + XeAuthor(post) + " <span class=\"time\">" +
           FormatDate(post.created, "%Y.%m.%d %H:%M") + "</span> <span class=\"sum\"><span class=\"read\">조회 수 " +
           Num(post.views) + "</span> <span class=\"num\">댓글 " + Num(post.comments) +
           "</span></span></p>\n </div>\n <div class=\"read_body\"><div class=\"document_" + Num(post.no) + "_" +
           Num(MemberNumber(post.writer)) + " xe_content\">" + Text(post.body) +
           "</div></div>\n <div class=\"read_footer\"><a href=\"/board\" class=\"btn\">목록</a></div>\n</div>\n";
}

// ---- portal café, list in a frame ------------------------------------------

constexpr const char* kCafeList = "/cafe/ArticleList.nhn?search.clubid=10001&amp;search.menuid=5&amp;search.boardtype=L";

std::string CafeRead(int no) {
    return "/cafe/ArticleRead.nhn?clubid=10001&amp;page=1&amp;menuid=5&amp;boardtype=L&amp;articleid=" + Num(no) +
           "&amp;referrerAllArticles=false";
}

std::string CafeRow(const StylePage& page, const Post& post, bool notice) {
    std::string row = notice ? "<tr class=\"board-notice type_required\">\n" : "<tr>\n";
    row += "<td class=\"td_article\">\n";
    row += notice ? "<div class=\"board-tag\"><strong class=\"board-tag-txt\"><span class=\"inner\">공지</span></strong></div>\n"
                  : "<div class=\"board-number\"><div class=\"inner_number\">" + Num(post.no) + "</div></div>\n";
    row += "<div class=\"board-list\"><div class=\"inner_list\">\n<a class=\"article\" href=\"" + CafeRead(post.no) +
           "\" onclick=\"clickcr(this, 'cll.title', '', '', event);\">\n" + Text(post.title) + "</a>\n";
    if (post.comments > 0) {
        row += "<a href=\"" + CafeRead(post.no) + "&amp;commentFocus=true\" class=\"cmt\">[<em>" + Num(post.comments) +
               "</em>]</a>\n";
    }
    if (IsNew(post, page)) row += "<span class=\"list-i-new\"><i class=\"blind\">new</i></span>\n";
    row += "</div></div>\n</td>\n";
    row += "<td class=\"td_name\"><div class=\"pers_nick_area\"><table role=\"presentation\"><tbody><tr><td "
           "class=\"p-nick\"><a href=\"#\" class=\"m-tcol-c\" onclick=\"ui(event, 'm" +
           Num(MemberNumber(post.writer)) + "', 3, this); return false;\">" + Text(post.writer) +
           "</a></td></tr></tbody></table></div></td>\n";
    row += "<td class=\"td_date\">" + ShortTime(post, page, "%Y.%m.%d.") + "</td>\n<td class=\"td_view\">" +
           Num(post.views) + "</td>\n</tr>\n";
    return row;
}

// ---- script-drawn list ---------------------------------------------------

nlohmann::json ScriptPost(const Post& post) {
    return {{"no", post.no},
            {"title", Utf8(post.title)},
            {"writer", Utf8(post.writer)},
            {"comments", post.comments},
            {"date", FormatDate(post.created, "%Y-%m-%d %H:%M")}};
}

std::string DumpJson(const nlohmann::json& json) {
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// ---- Clien-like div blocks -----------------------------------------------

std::string ClienLink(int no) {
    return "/service/board/park/" + Num(no) + "?od=T31&amp;po=0&amp;category=0&amp;groupCd=";
}

std::string ClienItem(const StylePage& page, const Post& post, bool notice) {
    std::string item = notice ? "<div class=\"list_item notice symph_row\" data-role=\"list-row\" data-board-sn=\""
                              : "<div class=\"list_item symph_row\" data-role=\"list-row\" data-board-sn=\"";
    item += Num(post.no) + "\" data-comment-count=\"" + Num(post.comments) + "\" data-author-id=\"m" +
            Num(MemberNumber(post.writer)) + "\">\n";
    item += "  <div class=\"list_symph view_symph\"><span>" + Num(post.views % 7) + "</span></div>\n";
    item += "  <div class=\"list_title\">\n    <a class=\"list_subject\" href=\"" + ClienLink(post.no) +
            "\" data-role=\"list-title\">\n      <span class=\"subject_fixed\" data-role=\"list-title-text\" title=\"" +
            Attr(post.title) + "\">" + Text(post.title) + "</span>\n    </a>\n";
    if (post.comments > 0) {
        item += "    <a class=\"list_reply reply_symph\" href=\"" + ClienLink(post.no) +
                "#comment-point\"><span class=\"rSymph05\">" + Num(post.comments) + "</span></a>\n";
    }
    item += "  </div>\n  <div class=\"list_author\"><span class=\"nickname\"><span title=\"" + Attr(post.writer) + "\">" +
            Text(post.writer) + "</span></span></div>\n";
    item += "  <div class=\"list_hit\"><span class=\"hit\">" + Num(post.views) + "</span></div>\n";
    item += "  <div class=\"list_time\"><span class=\"time popover\">" + ShortTime(post, page, "%m-%d") +
            "<span class=\"timestamp\">" + FormatDate(post.created, "%Y-%m-%d %H:%M:%S") + "</span></span></div>\n</div>\n";
    return item;
}

// ---- Ppomppu-like table --------------------------------------------------

std::string PpomppuLink(int no) { return "view.php?id=market&amp;page=1&amp;divpage=12&amp;no=" + Num(no); }

std::string PpomppuRow(const StylePage& page, const Post& post) {
    const int category = CategoryOf(post);
    std::string row = "<tr class=\"baseList bbs_new1\">\n";
    row += "<td class=\"baseList-space baseList-numb\">" + Num(post.no) + "</td>\n";
    row += "<td class=\"baseList-space title\" align=\"left\"><table><tr>\n";
    // The thumbnail links to the same post root-relatively, the title relatively.
    row += "<td class=\"baseList-thumb\"><a href=\"/zboard/" + PpomppuLink(post.no) + "\"><img src=\"" +
           std::string(kBlank) + "\" alt=\"\" width=\"50\" height=\"50\"></a></td>\n";
    row += "<td><div class=\"baseList-box\">\n<span class=\"baseList-small\">[<a href=\"/zboard/zboard.php?id=market&amp;"
           "category=" +
           Num(category + 1) + "\">" + kCategories[category] + "</a>]</span>\n";
    row += "<a href=\"" + PpomppuLink(post.no) + "\"><font class=\"baseList-title\">" + Text(post.title) + "</font></a>\n";
    if (post.comments > 0) row += "<span class=\"baseList-c\">" + Num(post.comments) + "</span>\n";
    row += "</div></td>\n</tr></table></td>\n";
    row += "<td class=\"baseList-space baseList-name\" align=\"left\"><a href=\"javascript:;\" onclick=\"show_sign(" +
           Num(post.no) + "); return false;\"><span class=\"list_name\">" + Text(post.writer) + "</span></a></td>\n";
    row += "<td class=\"baseList-space baseList-time\" nowrap><time class=\"baseList-time\">" +
           ShortTime(post, page, "%y/%m/%d") + "</time></td>\n";
    row += "<td class=\"baseList-space baseList-rec\">" + Num(post.views % 9) + " - 0</td>\n";
    row += "<td class=\"baseList-space baseList-views\">" + Num(post.views) + "</td>\n</tr>\n";
    return row;
}

} // namespace

const std::vector<BoardStyle>& BoardStyles() {
    static const std::vector<BoardStyle> styles = {
        {"gnuboard", "/bbs/board.php?bo_table=free", "gnuboard5 basic skin: absolute links, title on its own line"},
        {"rhymix", "/board", "XE/Rhymix default skin: one-line rows, author links, notices"},
        {"forum", "/forum", "list items with /post/N links, comment count and category links"},
        {"cafe", "/cafe/market", "portal café: the list in a same-origin frame (EUC-KR)"},
        {"script", "/app/board", "list drawn by script from JSON after the page has loaded"},
        {"clien", "/service/board/park", "Clien: div blocks with title spans and reply links"},
        {"ppomppu", "/zboard/zboard.php?id=market", "Ppomppu: table rows, categories, relative links (EUC-KR)"},
    };
    return styles;
}

Post StyleNotice(std::chrono::system_clock::time_point now) {
    Post notice;
    notice.no = 0;
    notice.title = base::Cp949FromUtf8("<필독> 장터 이용 규칙 & 사기 예방 안내");
    notice.writer = base::Cp949FromUtf8("운영자");
    notice.body = base::Cp949FromUtf8("직거래를 권장합니다. 선입금 요구는 사기일 수 있으니 주의하세요.");
    notice.created = now - hours(24 * 30);
    notice.comments = 2;
    notice.views = 1234;
    return notice;
}

std::vector<Post> NoticeBoardPosts(std::chrono::system_clock::time_point now) {
    const char* const titles[] = {"사기 거래 신고 방법", "택배 거래 시 주의할 점", "12월 장터 운영 안내"};
    std::vector<Post> posts;
    for (int i = 3; i >= 1; --i) {
        Post post;
        post.no = i;
        post.title = base::Cp949FromUtf8(titles[i - 1]);
        post.writer = base::Cp949FromUtf8("운영자");
        post.body = post.title;
        post.created = now - hours(24 * (10 - i));
        post.views = 100 * i;
        posts.push_back(std::move(post));
    }
    return posts;
}

std::vector<Post> MostRead(std::vector<Post> posts, std::size_t count) {
    std::stable_sort(posts.begin(), posts.end(), [](const Post& a, const Post& b) { return a.views > b.views; });
    if (posts.size() > count) posts.resize(count);
    return posts;
}

std::string RenderGnuboard(const StylePage& page, std::string_view table) {
    const std::string home = EscapeAttribute(page.origin);
    const std::string tableName = table == "notice" ? "공지사항" : "중고장터";
    std::string html = Head(tableName + " 1 페이지 | 로컬장터", false,
                            ".sound_only{display:inline-block;position:absolute;top:0;left:0;width:0;height:0;"
                            "overflow:hidden}\n#aside{float:right;width:230px}\n");
    html += "<body>\n<div id=\"skip_to_container\"><a href=\"#container\">본문 바로가기</a></div>\n";
    html += "<div id=\"hd\">\n    <h1 id=\"hd_h1\">" + tableName + " 1 페이지</h1>\n";
    html += "    <div id=\"hd_wrapper\">\n        <div id=\"logo\"><a href=\"" + home + "/\"><img src=\"" + kBlank +
            "\" alt=\"로컬장터\"></a></div>\n        <ul class=\"hd_login\"><li><a href=\"" + home +
            "/bbs/register.php\">회원가입</a></li><li><a href=\"" + home + "/bbs/login.php\">로그인</a></li></ul>\n    </div>\n";
    html += "    <nav id=\"gnb\"><h2>메인메뉴</h2><ul id=\"gnb_1dul\">\n        <li class=\"gnb_1dli\"><a href=\"" + home +
            "/bbs/board.php?bo_table=free\" target=\"_self\" class=\"gnb_1da\">중고장터</a></li>\n        <li "
            "class=\"gnb_1dli\"><a href=\"" +
            home + "/bbs/board.php?bo_table=notice\" target=\"_self\" class=\"gnb_1da\">공지사항</a></li>\n    </ul></nav>\n</div>\n";
    html += "<div id=\"wrapper\">\n<div id=\"container_wr\">\n";

    // The side column: the latest posts of the notice board, the most read of this one.
    html += "<aside id=\"aside\">\n<section class=\"lat\">\n    <h2 class=\"lat_title\"><a href=\"" + home +
            "/bbs/board.php?bo_table=notice\">공지사항</a></h2>\n    <ul>\n";
    for (const Post& post : NoticeBoardPosts(page.now)) {
        html += "        <li class=\"basic_li\">\n            <a href=\"" + GnuLink(page, "notice", post.no) + "\"> " +
                Text(post.title) + "</a>\n            <span class=\"lt_date\">" + FormatDate(post.created, "%m-%d") +
                "</span>\n        </li>\n";
    }
    html += "    </ul>\n    <a href=\"" + home +
            "/bbs/board.php?bo_table=notice\" class=\"lt_more\"><span class=\"sound_only\">공지사항</span>더보기</a>\n"
            "</section>\n<section id=\"popular_box\">\n    <h2>인기 게시물</h2>\n    <ol>\n";
    for (const Post& post : page.popular) {
        html += "        <li><a href=\"" + GnuLink(page, "free", post.no) + "\">" + Text(post.title) + "</a></li>\n";
    }
    html += "    </ol>\n</section>\n</aside>\n";

    html += "<div id=\"container\">\n    <h2 id=\"container_title\"><span title=\"" + tableName + " 1 페이지\">" +
            tableName + "</span></h2>\n";
    if (page.open) html += GnuView(page, table);
    html += "<div id=\"bo_list\" style=\"width:100%\">\n    <div id=\"bo_btn_top\">\n        <div "
            "id=\"bo_list_total\"><span>Total " +
            Num(static_cast<int>(page.newest.size())) + "건</span> 1 페이지</div>\n";
    html += "        <ul class=\"btn_bo_user\"><li><a href=\"" + home + "/bbs/write.php?bo_table=" + std::string(table) +
            "\" class=\"btn_b01 btn\" title=\"글쓰기\"><i class=\"fa fa-pencil\" aria-hidden=\"true\"></i><span "
            "class=\"sound_only\">글쓰기</span></a></li></ul>\n    </div>\n";
    html += "    <form name=\"fboardlist\" id=\"fboardlist\" action=\"" + home +
            "/bbs/board_list_update.php\" method=\"post\">\n    <div class=\"tbl_head01 tbl_wrap\">\n        <table>\n"
            "        <caption>" + tableName + " 목록</caption>\n        <thead>\n        <tr>\n"
            "            <th scope=\"col\">번호</th>\n            <th scope=\"col\">제목</th>\n"
            "            <th scope=\"col\">글쓴이</th>\n            <th scope=\"col\"><a href=\"" +
            home + "/bbs/board.php?bo_table=" + std::string(table) +
            "&amp;sop=and&amp;sst=wr_hit&amp;sod=desc\">조회 </a></th>\n            <th scope=\"col\"><a href=\"" + home +
            "/bbs/board.php?bo_table=" + std::string(table) +
            "&amp;sop=and&amp;sst=wr_datetime&amp;sod=desc\">날짜  </a></th>\n        </tr>\n        </thead>\n"
            "        <tbody>\n";
    if (table == "free") html += GnuRow(page, table, StyleNotice(page.now), true);
    for (const Post& post : page.newest) html += GnuRow(page, table, post, false);
    html += "        </tbody>\n        </table>\n    </div>\n    </form>\n";
    html += "    <nav class=\"pg_wrap\"><span class=\"pg\"><span class=\"sound_only\">열린</span><strong "
            "class=\"pg_current\">1</strong><span class=\"sound_only\">페이지</span>\n";
    for (int n = 2; n <= 5; ++n) {
        html += "<a href=\"" + home + "/bbs/board.php?bo_table=" + std::string(table) + "&amp;page=" + Num(n) +
                "\" class=\"pg_page\">" + Num(n) + "<span class=\"sound_only\">페이지</span></a>\n";
    }
    html += "<a href=\"" + home + "/bbs/board.php?bo_table=" + std::string(table) +
            "&amp;page=40\" class=\"pg_page pg_end\">맨끝</a>\n    </span></nav>\n</div>\n</div>\n</div>\n</div>\n";
    html += "<div id=\"ft\">\n    <div id=\"ft_link\" class=\"ft_cnt\"><a href=\"" + home +
            "/bbs/content.php?co_id=company\">회사소개</a> <a href=\"" + home +
            "/bbs/content.php?co_id=privacy\">개인정보처리방침</a> <a href=\"" + home +
            "/bbs/content.php?co_id=provision\">서비스이용약관</a></div>\n    <div id=\"ft_copy\">Copyright &copy; "
            "<b>로컬장터</b> All rights reserved.</div>\n    <button type=\"button\" id=\"top_btn\"><span "
            "class=\"sound_only\">상단으로</span></button>\n</div>\n</body>\n</html>\n";
    return html;
}

std::string RenderRhymix(const StylePage& page) {
    std::string html = Head("중고장터", false, ".board_list td{border-bottom:1px solid #eee}\n.replyNum{color:#c00}\n");
    html += "<body>\n<div class=\"xe\">\n<div class=\"header\">\n <h1><a href=\"/\" id=\"siteTitle\">로컬장터</a></h1>\n"
            " <ul id=\"gnb\"><li class=\"on\"><a href=\"/board\">중고장터</a></li><li><a href=\"/notice\">공지사항</a></li>"
            "<li><a href=\"/index.php?mid=board&amp;act=dispMemberLoginForm\">로그인</a></li></ul>\n</div>\n";
    html += "<div class=\"body\">\n<div class=\"content xe_content\">\n";
    if (page.open) html += XeRead(*page.open);
    html += "<div class=\"board\">\n<div class=\"board_header\"><h2><a href=\"/board\">중고장터</a></h2></div>\n"
            "<div class=\"board_list\" id=\"board_list\">\n<table width=\"100%\" border=\"1\" cellspacing=\"0\" "
            "summary=\"List of Articles\">\n<thead>\n<tr>\n  <th scope=\"col\">번호</th>\n  <th scope=\"col\" "
            "class=\"title\">제목</th>\n  <th scope=\"col\">글쓴이</th>\n  <th scope=\"col\"><a "
            "href=\"/index.php?mid=board&amp;sort_index=regdate&amp;order_type=asc\">날짜</a></th>\n  <th "
            "scope=\"col\"><a href=\"/index.php?mid=board&amp;sort_index=readed_count&amp;order_type=desc\">조회 "
            "수</a></th>\n</tr>\n</thead>\n<tbody>\n";
    html += XeNoticeRow(StyleNotice(page.now));
    for (const Post& post : page.newest) html += XeRow(page, post);
    html += "</tbody>\n</table>\n</div>\n<div class=\"list_footer\">\n <div class=\"pagination\"><a "
            "href=\"/index.php?mid=board&amp;page=1\" class=\"direction\">&laquo; 첫 페이지</a> <strong>1</strong> ";
    for (int n = 2; n <= 5; ++n) html += "<a href=\"/index.php?mid=board&amp;page=" + Num(n) + "\">" + Num(n) + "</a> ";
    html += "<a href=\"/index.php?mid=board&amp;page=40\" class=\"direction\">끝 페이지 &raquo;</a></div>\n"
            " <div class=\"btnArea\"><a href=\"/index.php?mid=board&amp;act=dispBoardWrite\" class=\"btn\">쓰기</a> "
            "<a href=\"/index.php?mid=board&amp;act=dispBoardTagList\" class=\"btn\" title=\"태그\">태그</a></div>\n"
            "</div>\n</div>\n</div>\n</div>\n";
    html += "<div class=\"footer\">\n <p><a href=\"/index.php?act=dispMemberSignUpForm\">회원가입</a> | <a "
            "href=\"/terms\">이용약관</a> | <a href=\"/privacy\">개인정보처리방침</a></p>\n <p>Powered by <a "
            "href=\"/about\">Rhymix</a></p>\n</div>\n</div>\n</body>\n</html>\n";
    return html;
}

std::string RenderForum(const StylePage& page) {
    std::string html = Head("장터 포럼", false,
                            ".post-list{list-style:none;padding:0}\n.post-item{padding:6px 0;border-bottom:1px solid "
                            "#eee}\n.category{color:#06c;margin-right:6px}\n");
    html += "<body>\n<header class=\"site-header\"><a class=\"logo\" href=\"/forum\">장터 포럼</a>\n<nav><a "
            "href=\"/forum\">전체</a> <a href=\"/forum?sort=popular\">인기</a> <a href=\"/login\">로그인</a></nav>\n"
            "</header>\n<main>\n";
    if (page.open) {
        const Post& post = *page.open;
        html += "<article class=\"post-view\">\n<h1 class=\"post-view-title\">" + Text(post.title) +
                "</h1>\n<div class=\"post-meta\"><span class=\"author\">" + Text(post.writer) + "</span> · <time>" +
                FormatDate(post.created, "%Y-%m-%d %H:%M") + "</time></div>\n<div class=\"post-body\">" +
                Text(post.body) + "</div>\n<section id=\"comments\"><h2>댓글 " + Num(post.comments) +
                "</h2></section>\n</article>\n";
    }
    html += "<nav class=\"categories\"><a href=\"/forum\">전체</a>";
    for (std::size_t i = 0; i < std::size(kCategories); ++i) {
        html += " <a href=\"/forum?category=" + Num(static_cast<int>(i) + 1) + "\">" + kCategories[i] + "</a>";
    }
    html += "</nav>\n<ul class=\"post-list\">\n";
    const Post notice = StyleNotice(page.now);
    html += "<li class=\"post-item is-notice\"><span class=\"badge\">공지</span> <a class=\"post-title\" href=\"/post/0\">" +
            Text(notice.title) + "</a> <span class=\"meta\"><span class=\"author\">" + Text(notice.writer) +
            "</span></span></li>\n";
    for (const Post& post : page.newest) {
        const int category = CategoryOf(post);
        html += "<li class=\"post-item\">\n  <a class=\"category\" href=\"/forum?category=" + Num(category + 1) + "\">" +
                kCategories[category] + "</a>\n  <a class=\"post-title\" href=\"/post/" + Num(post.no) + "\">" +
                Text(post.title) + "</a>\n";
        if (post.comments > 0) {
            html += "  <a class=\"comment-count\" href=\"/post/" + Num(post.no) + "#comments\">[" + Num(post.comments) +
                    "]</a>\n";
        }
        html += "  <span class=\"meta\"><span class=\"author\">" + Text(post.writer) + "</span> · <time datetime=\"" +
                FormatDate(post.created, "%Y-%m-%dT%H:%M") + "\">" + ShortTime(post, page, "%m-%d") +
                "</time> · 조회 " + Num(post.views) + "</span>\n</li>\n";
    }
    html += "</ul>\n<nav class=\"pager\"><span class=\"current\">1</span> <a href=\"/forum?page=2\">2</a> <a "
            "href=\"/forum?page=2\" rel=\"next\">다음</a></nav>\n</main>\n<footer><a href=\"/about\">소개</a> · <a "
            "href=\"/rules\">이용 규칙</a></footer>\n</body>\n</html>\n";
    return html;
}

std::string RenderCafeOuter(const StylePage& page) {
    std::string html = Head("로컬 중고나라 : 네이버 카페", false,
                            "#group-area{float:left;width:200px}\n#main-area{margin-left:210px}\n");
    html += "<body>\n<div id=\"cafe-body-skin\">\n<div id=\"front-cafe\"><h1><a href=\"/cafe/market\">로컬 "
            "중고나라</a></h1></div>\n<div id=\"group-area\">\n<ul class=\"cafe-menu-list\">\n";
    html += "<li><a href=\"/cafe/ArticleList.nhn?search.clubid=10001&amp;search.boardtype=L\" target=\"cafe_main\" "
            "id=\"menuLink0\">전체글보기</a></li>\n<li><a href=\"" +
            std::string(kCafeList) + "\" target=\"cafe_main\" id=\"menuLink5\">중고거래</a></li>\n";
    html += "<li><a href=\"/cafe/ArticleList.nhn?search.clubid=10001&amp;search.menuid=1&amp;search.boardtype=L\" "
            "target=\"cafe_main\" id=\"menuLink1\">공지사항</a></li>\n</ul>\n";
    html += "<div class=\"cafe-popular\"><h3>인기글</h3>\n<ol>\n";
    for (const Post& post : page.popular) {
        html += "<li><a href=\"" + CafeRead(post.no) + "\" target=\"cafe_main\">" + Text(post.title) + "</a></li>\n";
    }
    html += "</ol></div>\n</div>\n<div id=\"main-area\">\n<iframe name=\"cafe_main\" id=\"cafe_main\" title=\"카페 메인\" "
            "src=\"" +
            std::string(kCafeList) +
            "\" width=\"860\" height=\"1800\" frameborder=\"0\" scrolling=\"no\"></iframe>\n</div>\n</div>\n</body>\n"
            "</html>\n";
    return html;
}

std::string RenderCafeFrame(const StylePage& page) {
    std::string html = Head("로컬 중고나라", true, ".article-board td{border-bottom:1px solid #eee}\n.blind{display:none}\n");
    html += "<body class=\"cafe-main\">\n";
    if (page.open) {
        const Post& post = *page.open;
        html += "<div class=\"article-head\">\n<div class=\"tit-box\"><div class=\"fl\"><table role=\"presentation\"><tr>"
                "<td><span class=\"b m-tcol-c\">" +
                Text(post.title) + "</span></td></tr></table></div></div>\n<div class=\"etc-box\"><span "
                                   "class=\"m-tcol-c\">" +
                Text(post.writer) + "</span> <span class=\"date\">" + FormatDate(post.created, "%Y.%m.%d. %H:%M") +
                "</span></div>\n</div>\n<div class=\"tbody m-tcol-c\" id=\"tbody\">" + Text(post.body) + "</div>\n";
    }
    html += "<div class=\"article-board m-tcol-c\">\n<table>\n<caption><span class=\"blind\">게시물 "
            "목록</span></caption>\n<thead><tr><th scope=\"col\">제목</th><th scope=\"col\">작성자</th><th "
            "scope=\"col\">작성일</th><th scope=\"col\">조회</th></tr></thead>\n<tbody>\n";
    html += CafeRow(page, StyleNotice(page.now), true);
    for (const Post& post : page.newest) html += CafeRow(page, post, false);
    html += "</tbody>\n</table>\n</div>\n<div class=\"prev-next\"><a href=\"" + std::string(kCafeList) +
            "&amp;search.page=1\" class=\"on\">1</a> <a href=\"" + std::string(kCafeList) +
            "&amp;search.page=2\">2</a> <a href=\"" + std::string(kCafeList) +
            "&amp;search.page=2\" class=\"pgR\">다음</a></div>\n</body>\n</html>\n";
    return base::Cp949FromUtf8(html);
}

std::string RenderScriptShell(const StylePage& page) {
    std::string html = Head("장터 앱", false, ".posts{list-style:none;padding:0}\n.badge{color:#c00}\n");
    html += "<body>\n<div id=\"app\">\n<header><h1><a href=\"/app/board\">장터 앱</a></h1></header>\n";
    if (page.open) {
        nlohmann::json open = ScriptPost(*page.open);
        open["body"] = Utf8(page.open->body);
        // "</" would end the script element early.
        std::string data = DumpJson(open);
        for (std::size_t at = data.find("</"); at != std::string::npos; at = data.find("</", at + 3)) {
            data.insert(at + 1, "\\");
        }
        html += "<script type=\"application/json\" id=\"open-post\">" + data + "</script>\n";
    }
    html += "<article id=\"post\"></article>\n<ul id=\"posts\" class=\"posts\"><li class=\"loading\">불러오는 "
            "중…</li></ul>\n<noscript>스크립트를 켜야 목록이 보입니다.</noscript>\n</div>\n"
            "<script src=\"/app/board.js\"></script>\n</body>\n</html>\n";
    return html;
}

std::string RenderScriptCode() {
    return R"JS('use strict';
// Draws the open post and the list once the page has loaded: the list comes
// from /app/api/posts, so it is not in the page's markup before then.
function el(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}
function row(post, notice) {
  const li = el('li', notice ? 'post notice' : 'post');
  if (notice) li.append(el('span', 'badge', '공지'), ' ');
  const a = el('a', 'title', post.title);
  a.href = '/app/post/' + post.no;
  li.append(a);
  if (post.comments > 0) li.append(' ', el('span', 'comments', '[' + post.comments + ']'));
  li.append(' ', el('span', 'writer', post.writer), ' ', el('time', 'date', post.date));
  return li;
}
window.addEventListener('load', () => {
  const open = document.getElementById('open-post');
  if (open) {
    const post = JSON.parse(open.textContent);
    document.getElementById('post').append(el('h2', 'post-title', post.title), el('p', 'writer', post.writer),
                                           el('div', 'body', post.body));
  }
  const list = document.getElementById('posts');
  fetch('/app/api/posts', {cache: 'no-store'})
    .then(response => response.json())
    .then(data => list.replaceChildren(...data.notices.map(p => row(p, true)), ...data.posts.map(p => row(p, false))))
    .catch(() => list.replaceChildren(el('li', 'error', '목록을 불러오지 못했습니다.')));
});
)JS";
}

std::string RenderScriptData(const StylePage& page) {
    nlohmann::json posts = nlohmann::json::array();
    for (const Post& post : page.newest) posts.push_back(ScriptPost(post));
    return DumpJson({{"notices", nlohmann::json::array({ScriptPost(StyleNotice(page.now))})}, {"posts", posts}});
}

std::string RenderClien(const StylePage& page) {
    std::string html = Head("모두의공원 : 로컬리앙", false,
                            ".list_item{display:flex;border-bottom:1px solid #eee}\n.timestamp{display:none}\n");
    html += "<body>\n<div class=\"nav_container\"><a href=\"/service/\" class=\"logo\">로컬리앙</a>\n<div "
            "class=\"navmenu\"><a href=\"/service/board/park\" class=\"menu_over\">모두의공원</a> <a "
            "href=\"/service/board/news\">새로운소식</a> <a href=\"/service/board/sold\">사고팔고</a></div>\n</div>\n"
            "<div class=\"content_container\">\n";
    if (page.open) {
        const Post& post = *page.open;
        html += "<div class=\"post_view\">\n<div class=\"post_title symph_row\"><h3 class=\"post_subject\"><span>" +
                Text(post.title) + "</span></h3></div>\n<div class=\"post_info\"><div class=\"post_author\"><span "
                                   "class=\"nickname\"><span>" +
                Text(post.writer) + "</span></span></div></div>\n<div class=\"post_content\"><article><div "
                                    "class=\"post_article\">" +
                Text(post.body) + "</div></article></div>\n</div>\n";
    }
    html += "<div class=\"list_content\">\n";
    html += ClienItem(page, StyleNotice(page.now), true);
    for (const Post& post : page.newest) html += ClienItem(page, post, false);
    html += "</div>\n<div class=\"board-pagination\">";
    for (int n = 0; n < 5; ++n) {
        html += "<a class=\"board-nav-page" + std::string(n == 0 ? " active" : "") +
                "\" href=\"?&amp;od=T31&amp;category=0&amp;po=" + Num(n) + "\">" + Num(n + 1) + "</a>";
    }
    html += "</div>\n</div>\n<div class=\"footer_container\"><a href=\"/service/about\">소개</a> | <a "
            "href=\"/service/policy\">이용규칙</a></div>\n</body>\n</html>\n";
    return html;
}

std::string RenderPpomppu(const StylePage& page) {
    std::string html = Head("뽐뿌 - 장터게시판", true, ".baseList td{border-bottom:1px solid #eee}\n");
    html += "<body>\n<div id=\"top_menu\"><a href=\"/\">홈</a> | <a href=\"/zboard/zboard.php?id=market\">장터</a> | "
            "<a href=\"/zboard/zboard.php?id=freeboard\">자유게시판</a></div>\n";
    if (page.open) {
        const Post& post = *page.open;
        html += "<table class=\"view_table\" width=\"100%\">\n<tr><td class=\"view_title2\"><font class=\"view_title2\">" +
                Text(post.title) + "</font></td></tr>\n<tr><td class=\"view_name\">" + Text(post.writer) + " | " +
                FormatDate(post.created, "%Y-%m-%d %H:%M") + "</td></tr>\n<tr><td class=\"han\">" + Text(post.body) +
                "</td></tr>\n</table>\n";
    }
    html += "<table class=\"board_table\" id=\"revolution_main_table\" width=\"100%\" cellspacing=\"0\" "
            "cellpadding=\"0\">\n<tr class=\"title_bg\"><td>번호</td><td>제목</td><td>글쓴이</td><td>등록일</td>"
            "<td>추천-비추</td><td>조회</td></tr>\n";
    const Post notice = StyleNotice(page.now);
    html += "<tr class=\"baseNotice\"><td class=\"baseList-space\"><img src=\"" + std::string(kBlank) +
            "\" alt=\"공지\"></td><td class=\"baseList-space title\" align=\"left\"><a href=\"" + PpomppuLink(0) +
            "\"><font class=\"baseList-title\"><b>" + Text(notice.title) +
            "</b></font></a></td><td class=\"baseList-space baseList-name\"><span class=\"list_name\">" +
            Text(notice.writer) + "</span></td><td class=\"baseList-space\">" + FormatDate(notice.created, "%y/%m/%d") +
            "</td><td class=\"baseList-space\">-</td><td class=\"baseList-space\">" + Num(notice.views) + "</td></tr>\n";
    for (const Post& post : page.newest) html += PpomppuRow(page, post);
    html += "</table>\n<div class=\"info_bg\" align=\"center\"><font class=\"page_inert\">1</font>";
    for (int n = 2; n <= 5; ++n) {
        html += " <a href=\"zboard.php?id=market&amp;page=" + Num(n) + "&amp;divpage=12\"><font class=\"page_no\">" +
                Num(n) + "</font></a>";
    }
    html += " <a href=\"zboard.php?id=market&amp;page=11&amp;divpage=12\">[다음 10개]</a></div>\n</body>\n</html>\n";
    return base::Cp949FromUtf8(html);
}

} // namespace quorlan::testweb
