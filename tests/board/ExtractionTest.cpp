#include "base/Cp949.h"
#include "board/Extraction.h"

#include <gtest/gtest.h>

using namespace quorlan;
using board::PostList;

namespace {

struct SplitCase {
    const char* name;
    std::string text;
    std::string tagBefore;
    std::string tag;
    std::string rest;
};

const SplitCase kSplitCases[] = {
    {"no lt keeps the tag, rest empty", "plain", "kept", "kept", ""},
    {"empty text keeps the tag", "", "kept", "kept", ""},
    {"ordinary tag", "x<b class=t>y<i>", "", "b class=t", "y<i>"},
    {"tag at the end", "<td>", "", "td", ""},
    {"empty brackets", "<>rest", "old", "", "rest"},
    {"gt before lt gives empty tag", "a>b<c>d", "old", "", "b<c>d"},
    {"no gt: empty tag, rest is all", "ab<cd", "old", "", "ab<cd"},
};

} // namespace

TEST(SplitFirstTag, FollowsTheLtGtRule) {
    for (const auto& c : kSplitCases) {
        std::string_view tag = c.tagBefore;
        std::string_view rest = "junk";
        board::SplitFirstTag(c.text, tag, rest);
        EXPECT_EQ(tag, c.tag) << c.name;
        EXPECT_EQ(rest, c.rest) << c.name;
    }
}

namespace {

struct AnchorCase {
    const char* name;
    std::string line;
    std::string text;
};

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

std::string ManyTags() {
    std::string line = "<a href=v>";
    for (int i = 0; i < 60; ++i) line += "<b>k";
    return line + "<i>";
}

const AnchorCase kAnchorCases[] = {
    {"worked example, upper-case close", "<TD><A href=view.php?no=5>Bike for sale</A> <SPAN>[3]</SPAN></TD>",
     "Bike for sale [3]"},
    {"worked example, lower-case close", "<TD><A href=view.php?no=5>Bike for sale</a> <SPAN>[3]</SPAN></TD>",
     "Bike for sale"},
    {"absolute link", "<td><a href=\"http://other/x\">Out</a> tail<b></td>", ""},
    {"HTTP in any case", "<a href=\"HtTpS://other\">Out</A> more<b>", ""},
    {"absolute link does not turn the mark off", "<a href=v>In</A><a href=http://x>Out</A><b>", "InOut"},
    {"address beginning with /a leaves the mark off", "<a href=/a/view.php>T</a> x<b>", ""},
    {"text after the last tag is lost", "<a href=v>Title</a>tail", "Title"},
    {"link text without a later tag", "<a href=v>Title", ""},
    {"nbsp piece dropped whole", "<a href=v>&nbsp;New<span>bike</span></a>", "bike"},
    {"other references stay", "<a href=v>a&lt;b&quot;</a>", "a&lt;b&quot;"},
    {"any tag starting with A", "<abbr title=x>Ab</abbr><AREA shape=r>z<b>", "Abz"},
    {"text before the link is not collected", "x<b>y<a href=v>T</a>", "T"},
    {"broken lt repeats its piece", "<a href=v>Hot <broken tag", Repeat("Hot ", 50)},
    {"broken lt with the mark off", "<td>x</td><br <a", ""},
    {"gt before lt is read twice", "<a href=v>x</A>y>z<b>", "xy>zz"},
    {"only 51 repetitions", ManyTags(), std::string(49, 'k')},
    {"no tag at all", "just text", ""},
};

} // namespace

TEST(ExtractAnchorText, KeepsEveryRuleIncludingTheOddOnes) {
    for (const auto& c : kAnchorCases) EXPECT_EQ(board::ExtractAnchorText(c.line), c.text) << c.name;
}

TEST(ReplaceAmpReferences, OneLeftToRightPass) {
    EXPECT_EQ(board::ReplaceAmpReferences("a&amp;b <a href=x?a=1&amp;b=2> &amp;amp; &AMP; &lt;"),
              "a&b <a href=x?a=1&b=2> &amp; &AMP; &lt;");
}

TEST(ReadPageLines, ReplacesThenSplits) {
    EXPECT_EQ(board::ReadPageLines(std::string("x&amp;amp;y\r\nz\n\rw\0tail", 22)),
              (PostList{"x&amp;y", "z", "", "w"}));
}

TEST(ExtractPostList, BoardPageGivesLinesInPageOrder) {
    const std::string title = base::Cp949FromUtf8("[판매] 자전거 팝니다");
    const std::string markup = "<table>\r\n"
                               "<tr><td>1</td><td><a href=\"view.php?id=share&amp;no=2\">" + title +
                               "</a> <span>[3]</span></td></tr>\r\n"
                               "<tr><td><a href=\"view.php?no=1\">Tom &amp; Jerry &lt;DVD&gt;</a></td></tr>\n"
                               "<tr><td><a href=\"http://ad.example/\">Advert</a></td></tr>\r"
                               "<tr><td><b>no link here</b></td></tr>\n"
                               "<tr><td><A href=view.php>&amp;nbsp;gone</a></td></tr>\n"
                               "<tr><td><a href=\"view.php?id=share&amp;no=2\">" + title + "</a></td></tr>\n"
                               "<address>Contact<b>us</b></address>\n" +
                               std::string("<a href=v>after NUL</a>\0<a href=v>hidden</a>\n", 44);
    EXPECT_EQ(board::ExtractPostList(markup),
              (PostList{title, "Tom & Jerry &lt;DVD&gt;", title, "Contactus", "after NUL"}));
}

TEST(ExtractPostList, PagesWithoutLinksGiveAnEmptyList) {
    const std::string pages[] = {"", "<td>x</td>\n<b>y</b>", "<table>\r\n<tr><td>A</td></tr>",
                                 std::string("\0<a href=v>x</a>", 16)};
    for (const auto& markup : pages) EXPECT_TRUE(board::ExtractPostList(markup).empty()) << markup;
}
