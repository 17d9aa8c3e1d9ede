#include "board/PostLink.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

using quorlan::board::FindPostLink;
using quorlan::board::HrefOfTag;

// Rows as the board writes them: number, subject link (with the comment count
// in a second link on the same line), writer, date, views.
std::string Row(int no, const std::string& title, int comments, int views) {
    const std::string n = std::to_string(no);
    return "<tr><td class=\"num\">" + n + "</td><td class=\"subject\"><a href=\"view.php?id=share&amp;no=" + n + "\">" +
           title + "</a> <a href=\"view.php?id=share&amp;no=" + n + "#c\">[" + std::to_string(comments) +
           "]</a></td><td>writer</td><td>2026/12/10</td><td class=\"hit\">" + std::to_string(views) + "</td></tr>\n";
}

const std::string kPage =
    "<div><a href=\"http://127.0.0.1:8080/bbs/view.php?id=share&amp;no=0\">notice lamp</a></div>\n" +
    Row(12, "desk lamp", 3, 40) + Row(11, "lamp", 0, 7) +
    Row(10, "\xC1\xF7\xB0\xC5\xB7\xA1 sofa 2 seats", 1, 99) + // 직거래
    "<div><a href=\"zboard.php?id=share&amp;page=2\">[2]</a></div>\n";

TEST(PostLinkTest, FindsTheRowWhoseLineMatchesDigitsAndSpacesIgnored) {
    struct Case {
        const char* name;
        std::string shown;
        std::optional<std::string> link;
    };
    const Case cases[] = {
        {"as found", "desk lamp[3]", "view.php?id=share&no=12"},
        {"comment count changed since", "desk lamp[5]", "view.php?id=share&no=12"},
        {"message-list line with its time of day", "\xBF\xC0\xC8\xC4 1:23:45 desk lamp[3]",
         "view.php?id=share&no=12"}, // 오후 1:23:45
        {"shorter line of another row", "lamp[0]", "view.php?id=share&no=11"},
        {"Hangul and digits in the title", "\xC1\xF7\xB0\xC5\xB7\xA1 sofa 3 seats[1]", "view.php?id=share&no=10"},
        {"no longer on the page", "old chair[2]", std::nullopt},
        {"absolute links make no post line", "notice lamp", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(FindPostLink(kPage, c.shown), c.link) << c.name;
}

TEST(PostLinkTest, HrefOfATag) {
    struct Case {
        std::string tag;
        std::optional<std::string> href;
    };
    const Case cases[] = {
        {"a href=\"view.php?no=1\"", "view.php?no=1"},
        {"A HREF='view.php?no=2' class=x", "view.php?no=2"},
        {"a class=x href = view.php?no=3 target=_blank", "view.php?no=3"},
        {"a data-href=\"x\"", std::nullopt},
        {"a name=top", std::nullopt},
        {"a href=", std::nullopt},
        {"a href=\"\"", std::nullopt},
        {"a href=\"unclosed", "unclosed"},
    };
    for (const Case& c : cases) EXPECT_EQ(HrefOfTag(c.tag), c.href) << c.tag;
}

} // namespace
