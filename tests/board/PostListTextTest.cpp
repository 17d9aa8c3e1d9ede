#include "board/PostListText.h"

#include <gtest/gtest.h>

using namespace quorlan;
using board::PostList;

namespace {

struct ReadCase {
    const char* name;
    std::string text;
    PostList lines;
};

const ReadCase kReadCases[] = {
    {"empty text", "", {}},
    {"CR LF", "a\r\nb", {"a", "b"}},
    {"LF CR gives an empty line", "a\n\rb", {"a", "", "b"}},
    {"lone CR and lone LF", "a\rb\nc\r\n", {"a", "b", "c"}},
    {"empty line between CR LF pairs", "a\r\n\r\nb\r\n", {"a", "", "b"}},
    {"a lone break is one empty line", "\r\n", {""}},
    {"NUL ends the text", std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
    {"NUL first", std::string("\0abc", 4), {}},
    {"bytes above 0x7F kept", "\xB0\xA1\xC7\xD1\r\n", {"\xB0\xA1\xC7\xD1"}},
};

} // namespace

TEST(PostListText, ReadingSplitsAtEveryBreakUpToNul) {
    for (const auto& c : kReadCases) EXPECT_EQ(board::ReadPostListText(c.text), c.lines) << c.name;
}

TEST(PostListText, WritingEndsEveryLineWithCrLf) {
    EXPECT_EQ(board::WritePostListText({}), "");
    EXPECT_EQ(board::WritePostListText({"a", "", "\xC7\xD1 b"}), "a\r\n\r\n\xC7\xD1 b\r\n");
}

TEST(PostListText, ListsRoundTrip) {
    const PostList lists[] = {{}, {""}, {"a", "a", "", "b c"}, {"\xB0\xA1", "x\ty"}};
    for (const auto& list : lists) EXPECT_EQ(board::ReadPostListText(board::WritePostListText(list)), list);
}
