// Finding the posts of a generated board page of about 1 MB (list rows with
// author, comment-count and pagination links, a "best" box of the same board,
// Korean titles in cp949): the rule on the page's link records (what the
// board window does with the records its page script returns), and the
// collection of those records from markup (what tools and simulated clients
// do without a browser). Also the comparison of two large post lists, and
// matching one post line against a watch list.
#include "base/Cp949.h"
#include "board/MarkupLinks.h"
#include "board/PagePosts.h"
#include "board/PostListCompare.h"
#include "board/WatchList.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace quorlan;

namespace {

constexpr const char* kPageUrl = "http://127.0.0.1:8090/bbs/board.php?bo_table=free";

std::string BoardPage(std::size_t targetBytes, int* rows) {
    const char* words[] = {"[판매]", "[구매]", "아이폰", "갤럭시", "자전거", "노트북", "직거래", "택배",
                           "팝니다", "삽니다", "급처",   "새상품", "중고",   "모니터", "의자",   "캠핑"};
    std::vector<std::string> cp949Words;
    for (const char* w : words) cp949Words.push_back(base::Cp949FromUtf8(w));
    const std::string writer = base::Cp949FromUtf8("홍길동");
    std::string page = "<div class=\"best\"><ul>";
    for (int i = 0; i < 10; ++i)
        page += "<li><a href=\"board.php?bo_table=free&amp;wr_id=" + std::to_string(100 + i) + "\">" +
                base::Cp949FromUtf8("지난주 인기글 ") + std::to_string(i) + "</a></li>";
    page += "</ul></div>\n<table width=\"100%\" cellspacing=\"0\" class=\"list\">\n<tbody>";
    int n = 0;
    unsigned lcg = 12345; // fixed start: every run builds the same page
    const auto next = [&] { return lcg = lcg * 1103515245u + 12345u, (lcg >> 16) & 0x7FFF; };
    while (page.size() < targetBytes) {
        const int no = 90000 - n;
        std::string title;
        for (int w = 0; w < 4 + static_cast<int>(next() % 4); ++w) title += cp949Words[next() % 16] + " ";
        title += std::to_string(next() % 512) + "GB &amp; more";
        page += "<tr align=\"center\" class=\"list0\">\n"
                "<td class=\"list_eng\" nowrap=\"\">" + std::to_string(no) + "</td>\n"
                "<td class=\"list_han\" align=\"left\" nowrap=\"\">&nbsp;<a href=\"board.php?bo_table=free&amp;"
                "wr_id=" + std::to_string(no) + "\">\n          " +
                title + "</a> <a href=\"board.php?bo_table=free&amp;wr_id=" + std::to_string(no) +
                "#c\" class=\"cmt\">[" + std::to_string(next() % 40) + "]</a></td>\n"
                "<td nowrap=\"\"><a href=\"profile.php?mb_id=u" + std::to_string(next() % 500) + "\">" + writer +
                "</a></td>\n"
                "<td class=\"list_eng\" nowrap=\"\">05/01</td>\n"
                "<td class=\"list_eng\" nowrap=\"\">" + std::to_string(next() % 3000) + "</td>\n</tr>";
        ++n;
    }
    *rows = n;
    page += "\n</tbody></table>\n<div class=\"pg\">";
    for (int i = 1; i <= 10; ++i)
        page += "<a href=\"board.php?bo_table=free&amp;page=" + std::to_string(i) + "\">" + std::to_string(i) + "</a>";
    return page + "</div>\n";
}


struct Inputs {
    std::string page;
    int rows = 0;
    std::vector<board::LinkRecord> links;
    Inputs() {
        page = BoardPage(1 << 20, &rows);
        links = board::CollectMarkupLinks(page, kPageUrl);
    }
};

const Inputs& Input() {
    static const Inputs inputs;
    return inputs;
}

void Label(benchmark::State& state, std::size_t posts) {
    const Inputs& in = Input();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.page.size()));
    state.SetLabel(std::to_string(in.page.size()) + " bytes, " + std::to_string(in.links.size()) + " links, " +
                   std::to_string(in.rows) + " rows, " + std::to_string(posts) + " posts");
}

// The rule alone, on the records of the page.
void BM_FindPagePosts(benchmark::State& state) {
    std::size_t posts = 0;
    for (auto _ : state) {
        std::vector<board::PagePost> found = board::FindPagePosts(Input().links);
        posts = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    Label(state, posts);
}
BENCHMARK(BM_FindPagePosts)->Unit(benchmark::kMillisecond);

// Markup parsed, records collected, posts found.
void BM_ExtractPostListFromMarkup(benchmark::State& state) {
    std::size_t posts = 0;
    for (auto _ : state) {
        board::PostList lines = board::ExtractPostList(Input().page, kPageUrl);
        posts = lines.size();
        benchmark::DoNotOptimize(lines.data());
    }
    Label(state, posts);
}
BENCHMARK(BM_ExtractPostListFromMarkup)->Unit(benchmark::kMillisecond);

// Comparison of two large lists (one page's worth many times over).
void BM_FindNewLines(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    board::PostList page, server;
    for (int i = 0; i < n; ++i) {
        const std::string title = base::Cp949FromUtf8("중고 자전거 팝니다 ") + std::to_string(i * 7919 % 1000003) + "x" +
                                  std::string(1, static_cast<char>('a' + i % 26)) + std::to_string(i);
        page.push_back(title + " [" + std::to_string(i % 9) + "]");
        server.push_back(title);
    }
    std::size_t found = 0;
    for (auto _ : state) {
        found = board::FindNewLines(page, server).size();
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_FindNewLines)->Arg(5000)->Arg(50000);

// One 256-byte post line against the main condition and a watch list of 99:
// a third of each form, each with two words to leave out. The line matches
// none, so every condition is tried (the worst case); with range 1 it holds
// the words of the last condition but also one of its words to leave out.
void BM_WatchListMatch(benchmark::State& state) {
    client::ClientState watcher;
    const auto condition = [](int i) {
        const std::string a = base::Cp949FromUtf8("모델") + std::to_string(i) + base::Cp949FromUtf8("호");
        const std::string b = base::Cp949FromUtf8("미개봉") + std::to_string(i) + base::Cp949FromUtf8("번");
        return i % 3 == 0 ? a : a + (i % 3 == 1 ? "&" : "+") + b;
    };
    const auto exclude = [](int i) {
        return std::vector<std::string>{base::Cp949FromUtf8("삽니다") + std::to_string(i) + "!",
                                        base::Cp949FromUtf8("고장") + std::to_string(i) + "!"};
    };
    watcher.FSearchCondition = condition(0);
    watcher.FExclude = exclude(0);
    for (int i = 1; i < 100; ++i) watcher.FWatchList.push_back({condition(i), exclude(i), false});
    std::string line = base::Cp949FromUtf8("[판매] 중고 노트북 상태 좋습니다 직거래 선호 ");
    if (state.range(0) == 1) line += condition(98) + " " + base::Cp949FromUtf8("고장98! ");
    while (line.size() < 256) line += base::Cp949FromUtf8("가나다 ");
    line.resize(256);
    for (auto _ : state) {
        auto hit = board::FirstHitCondition(watcher, line);
        benchmark::DoNotOptimize(hit);
    }
}
BENCHMARK(BM_WatchListMatch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Every row is a post, nothing else is.
    if (board::FindPagePosts(Input().links).size() != static_cast<std::size_t>(Input().rows)) {
        std::fprintf(stderr, "the generated page does not give one post a row\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
