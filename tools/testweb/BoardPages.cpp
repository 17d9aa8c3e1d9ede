#include "tools/testweb/BoardPages.h"

#include "base/Cp949.h"
#include "tools/testweb/BoardStyles.h"

#include <ctime>

namespace quorlan::testweb {
namespace {

std::string Head(std::string_view titleUtf8) {
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
           "<html>\n<head>\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-kr\">\n"
           "<title>" +
           base::Cp949FromUtf8(titleUtf8) +
           "</title>\n"
           "<style>\n"
           "body { font-family: Gulim, sans-serif; font-size: 9pt; }\n"
           "table.list td { border-bottom: 1px solid #ddd; padding: 3px; }\n"
           ".cmt { color: #e06000; font-size: 8pt; }\n"
           "</style>\n</head>\n";
}

std::string PostRow(const Post& post) {
    const std::string no = std::to_string(post.no);
    std::string row = "<tr align=\"center\"><td class=\"num\">" + no +
                      "</td><td align=\"left\" class=\"subject\"><a href=\"view.php?id=share&amp;no=" + no + "\">" +
                      EscapeText(post.title) + "</a>";
    if (post.comments > 0) row += " <span class=\"cmt\">[" + std::to_string(post.comments) + "]</span>";
    row += "</td><td class=\"name\"><span>" + EscapeText(post.writer) + "</span></td><td class=\"date\">" +
           FormatDate(post.created, "%Y/%m/%d") + "</td><td class=\"hit\">" + std::to_string(post.views) +
           "</td></tr>\n";
    return row;
}

} // namespace

std::string FormatDate(std::chrono::system_clock::time_point when, const char* format) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

std::string EscapeText(std::string_view cp949) {
    std::string out;
    out.reserve(cp949.size());
    for (const char c : cp949) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string EscapeAttribute(std::string_view cp949) {
    std::string out;
    out.reserve(cp949.size());
    for (const char c : cp949) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string RenderBoardList(const std::vector<Post>& newestFirst, std::string_view origin) {
    const std::string home = EscapeAttribute(origin);
    std::string page = Head("중고장터 - 사고팔고");
    page += "<body>\n";
    // Navigation with absolute addresses: the client never takes these as posts.
    page += "<div class=\"top\"><a href=\"" + home + "/\">" + base::Cp949FromUtf8("홈") + "</a> | <a href=\"" + home +
            "/portal/naver\">" + base::Cp949FromUtf8("네이버") + "</a> | <a href=\"" + home + "/portal/daum\">" +
            base::Cp949FromUtf8("다음") + "</a></div>\n";
    page += "<table class=\"list\" width=\"100%\" cellspacing=\"0\" cellpadding=\"0\">\n";
    page += base::Cp949FromUtf8("<tr class=\"head\" align=\"center\"><td>번호</td><td>제목</td><td>글쓴이</td>"
                               "<td>날짜</td><td>조회</td></tr>\n");
    page += "<tr align=\"center\" class=\"notice\"><td>" + base::Cp949FromUtf8("공지") +
            "</td><td align=\"left\"><a href=\"" + home + "/bbs/view.php?id=share&amp;no=0\"><b>" +
            base::Cp949FromUtf8("[공지] 장터 이용 규칙 &amp; 사기 예방 안내") +
            "</b></a></td><td>" + base::Cp949FromUtf8("운영자") + "</td><td>&nbsp;</td><td>&nbsp;</td></tr>\n";
    for (const Post& post : newestFirst) page += PostRow(post);
    page += "</table>\n";
    page += "<div class=\"paging\" align=\"center\"><a href=\"zboard.php?id=share&amp;page=1\">[1]</a>&nbsp;"
            "<a href=\"zboard.php?id=share&amp;page=2\">[2]</a>&nbsp;"
            "<a href=\"zboard.php?id=share&amp;page=3\">[3]</a></div>\n";
    page += "</body>\n</html>\n";
    return page;
}

std::string RenderPostView(const Post& post, std::string_view origin) {
    std::string page = Head("중고장터 - 글 보기");
    page += "<body>\n<table class=\"view\" width=\"100%\">\n";
    page += "<tr><td class=\"subject\"><b>" + EscapeText(post.title) + "</b></td></tr>\n";
    page += "<tr><td class=\"info\">" + base::Cp949FromUtf8("글쓴이: ") + EscapeText(post.writer) + " | " +
            FormatDate(post.created, "%Y/%m/%d %H:%M:%S") + " | " + base::Cp949FromUtf8("조회: ") +
            std::to_string(post.views) + "</td></tr>\n";
    page += "<tr><td class=\"body\">" + EscapeText(post.body) + "</td></tr>\n</table>\n";
    page += "<div><a href=\"zboard.php?id=share\">" + base::Cp949FromUtf8("목록") + "</a> | <a href=\"" +
            EscapeAttribute(origin) + "/\">" + base::Cp949FromUtf8("홈") + "</a></div>\n</body>\n</html>\n";
    return page;
}

std::string RenderHome(std::string_view origin) {
    std::string page = Head("Quorlan 로컬 웹");
    page += "<body>\n<h1>" + base::Cp949FromUtf8("Quorlan 로컬 웹") + "</h1>\n<ul>\n";
    page += "<li><a href=\"/bbs/zboard.php?id=share\">" + base::Cp949FromUtf8("중고장터 게시판") + "</a></li>\n";
    page += "<li><a href=\"/portal/naver\">" + base::Cp949FromUtf8("네이버") + "</a></li>\n";
    page += "<li><a href=\"/portal/daum\">" + base::Cp949FromUtf8("다음") + "</a></li>\n";
    page += "<li><a href=\"/patch_quorlan.txt\">" + base::Cp949FromUtf8("패치 목록") + "</a></li>\n";
    page += "</ul>\n";
    // The address to give the client for each style is its list page.
    page += "<h2>" + base::Cp949FromUtf8("게시판 스타일 (감시할 주소)") + "</h2>\n<table class=\"styles\">\n";
    page += base::Cp949FromUtf8("<tr><th>스타일</th><th>주소</th><th>흉내 내는 것</th></tr>\n");
    for (const BoardStyle& style : BoardStyles()) {
        const std::string url = EscapeAttribute(origin) + style.listPath;
        page += "<tr><td>" + std::string(style.name) + "</td><td><a href=\"" + url + "\">" + url + "</a></td><td>" +
                EscapeText(base::Cp949FromUtf8(style.imitates)) + "</td></tr>\n";
    }
    page += "</table>\n</body>\n</html>\n";
    return page;
}

std::string RenderPortal(std::string_view portalNameUtf8) {
    std::string page = Head("포털");
    page += "<body>\n<h1>" + EscapeText(base::Cp949FromUtf8(portalNameUtf8)) + "</h1>\n<p>" +
            base::Cp949FromUtf8("로컬 시험용 자리 표시 페이지입니다.") + "</p>\n<p><a href=\"/bbs/zboard.php?id=share\">" +
            base::Cp949FromUtf8("중고장터 게시판") + "</a></p>\n</body>\n</html>\n";
    return page;
}

std::string RenderSmsReply(bool accepted) {
    std::string page = Head("문자 발송");
    page += "<body>\n<p>" + base::Cp949FromUtf8(accepted ? "발송 요청을 접수했습니다." : "발송 요청이 잘못되었습니다.") +
            "</p>\n</body>\n</html>\n";
    return page;
}

std::string RenderNotFound(std::string_view what) {
    std::string page = Head("없는 페이지");
    page += "<body>\n<p>" + base::Cp949FromUtf8("찾는 페이지가 없습니다: ") + EscapeText(what) + "</p>\n</body>\n</html>\n";
    return page;
}

} // namespace quorlan::testweb
