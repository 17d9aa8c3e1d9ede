#include "board/PostListCompare.h"

#include <gtest/gtest.h>

using namespace quorlan;
using board::PostList;

TEST(NormaliseLine, DropsDigitsAndSpacesOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"[3] Bike 12:30", "[]Bike:"},
        {"\xC1\xF7\xB0\xC5\xB7\xA1 0123456789", "\xC1\xF7\xB0\xC5\xB7\xA1"},
        {"tab\tstays&nbsp;", "tab\tstays&nbsp;"},
        {" 9 ", ""},
    };
    for (const auto& [line, normal] : cases) EXPECT_EQ(board::NormaliseLine(line), normal) << line;
}

namespace {

// The rule as written: every page line scanned against the server lines,
// stopping at the first equal normalised form.
std::vector<std::size_t> NestedScan(const PostList& page, const PostList& server) {
    std::vector<std::size_t> fresh;
    for (std::size_t i = 0; i < page.size(); ++i) {
        bool found = false;
        for (const auto& known : server) {
            if (board::NormaliseLine(page[i]) == board::NormaliseLine(known)) {
                found = true;
                break;
            }
        }
        if (!found) fresh.push_back(i);
    }
    return fresh;
}

struct CompareCase {
    const char* name;
    PostList page;
    PostList server;
    std::vector<std::size_t> fresh;
};

const CompareCase kCompareCases[] = {
    {"equal lists", {"a", "b"}, {"a", "b"}, {}},
    {"empty server list", {"a", "b", "a"}, {}, {0, 1, 2}},
    {"empty page", {}, {"a"}, {}},
    {"digits and spaces ignored", {"Bike [3] 12:30", "Car 5"}, {"Bike[15] 13:45", "Car"}, {}},
    {"other white space counts", {"a\tb"}, {"a b"}, {0}},
    {"duplicate new line twice", {"x", "new", "y", "new"}, {"x", "y"}, {1, 3}},
    {"server-only lines ignored", {"a"}, {"gone", "a", "also gone"}, {}},
    {"empty lines compare too", {"", "a"}, {"1 2"}, {1}},
};

} // namespace

TEST(FindNewLines, AgreesWithTheNestedScan) {
    for (const auto& c : kCompareCases) {
        EXPECT_EQ(board::FindNewLines(c.page, c.server), c.fresh) << c.name;
        EXPECT_EQ(NestedScan(c.page, c.server), c.fresh) << c.name;
    }
}
