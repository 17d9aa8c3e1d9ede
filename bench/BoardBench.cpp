// Post-list extraction on a generated board page of about 1 MB (list rows as a
// browser serialises them, Korean titles in cp949) and on broken lines (a "<"
// with no ">" and a long text), against a reference made the straightforward
// way: the same rules with the rest of the line copied at every step. After
// the run the ratio reference / linear (CPU time) is printed for each input.
#include "base/Cp949.h"
#include "board/Extraction.h"
#include "board/PostListCompare.h"
#include "board/WatchList.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace quorlan;

namespace {

// ---- reference: the rules written with a copy of the rest at every step ----

std::string RefUpper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

// 1-based position, 0 when absent.
std::size_t RefPos(const std::string& sub, const std::string& s) {
    const std::size_t at = s.find(sub);
    return at == std::string::npos ? 0 : at + 1;
}

// Copy(s, index, count) with 1-based index; a negative count gives "".
std::string RefCopy(const std::string& s, long index, long count) {
    if (count <= 0 || index > static_cast<long>(s.size())) return {};
    return s.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
}

void RefSplitFirstTag(const std::string& text, std::string& tag, std::string& rest) {
    rest.clear();
    const long lt = static_cast<long>(RefPos("<", text));
    const long gt = static_cast<long>(RefPos(">", text));
    if (lt == 0) return;
    tag = RefCopy(text, lt + 1, gt - lt - 1);
    rest = RefCopy(text, gt + 1, static_cast<long>(text.size()));
}

std::string RefExtractAnchorText(const std::string& line) {
    std::string remaining = line, collected, tag;
    bool mark = false;
    for (int round = 1; round <= board::kAnchorRepetitions; ++round) {
        const long p = static_cast<long>(RefPos("<", remaining));
        if (p > 0 && mark) {
            const std::string piece = RefCopy(remaining, 1, p - 1);
            if (RefPos("&nbsp;", piece) == 0) collected += piece;
        }
        std::string rest;
        RefSplitFirstTag(remaining, tag, rest);
        remaining = rest;
        const std::string upperTag = RefUpper(tag);
        if (RefCopy(upperTag, 1, 1) == "A" && RefPos("HTTP", upperTag) == 0) mark = true;
        if (RefPos("/a", tag) > 0) mark = false;
        if (remaining.empty()) break;
    }
    return collected;
}

// Page-level passes are the ordinary linear ones, so the ratio measures the
// per-line work only.
board::PostList RefExtractPostList(const std::string& markup) {
    board::PostList list;
    for (const auto& line : board::ReadPageLines(markup)) {
        if (RefPos("<A", RefUpper(line)) == 0) continue;
        std::string text = RefExtractAnchorText(line);
        if (!text.empty()) list.push_back(std::move(text));
    }
    return list;
}

// ---- inputs ----

std::string BoardPage(std::size_t targetBytes, int* rows) {
    const char* words[] = {"[판매]", "[구매]", "아이폰", "갤럭시", "자전거", "노트북", "직거래", "택배",
                           "팝니다", "삽니다", "급처",   "새상품", "중고",   "모니터", "의자",   "캠핑"};
    std::vector<std::string> cp949Words;
    for (const char* w : words) cp949Words.push_back(base::Cp949FromUtf8(w));
    const std::string writer = base::Cp949FromUtf8("홍길동");
    std::string page = "<table width=\"100%\" cellspacing=\"0\" class=\"list\">\n<tbody>";
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
                "<td class=\"list_han\" align=\"left\" nowrap=\"\">&nbsp;<a href=\"view.php?id=share&amp;page=1&amp;"
                "divpage=3&amp;no=" + std::to_string(no) + "\">" +
                title + "</a> <span class=\"list_eng\">[" + std::to_string(next() % 40) + "]</span></td>\n"
                "<td nowrap=\"\"><span style=\"cursor: pointer;\"><font class=\"list_han\">" + writer +
                "</font></span></td>\n"
                "<td class=\"list_eng\" nowrap=\"\">05/01</td>\n"
                "<td class=\"list_eng\" nowrap=\"\">" + std::to_string(next() % 3000) + "</td>\n</tr>";
        ++n;
    }
    *rows = n;
    return page + "\n</tbody></table>\n";
}

// A "<" with no ">" after it: the line never advances and is rescanned in
// every one of the 51 repetitions. After a link the short piece before the
// "<" repeats; after plain text nothing is collected.
std::string BrokenLine(bool afterLink) {
    std::string longText;
    while (longText.size() < 64 * 1024) longText += base::Cp949FromUtf8("깨진 태그 뒤의 긴 글 ") + "abc ";
    if (afterLink) return "<td><a href=\"view.php?no=1\">Title <broken " + longText;
    return "<td>" + longText + "<a broken " + longText;
}

struct Inputs {
    std::string page;
    int rows = 0;
    std::string brokenAfterLink = BrokenLine(true);
    std::string brokenAfterText = BrokenLine(false);
    Inputs() { page = BoardPage(1 << 20, &rows); }
};

const Inputs& Input() {
    static const Inputs inputs;
    return inputs;
}

const std::string& Markup(int which) {
    const Inputs& in = Input();
    return which == 0 ? in.page : which == 1 ? in.brokenAfterLink : in.brokenAfterText;
}

const char* kInputNames[] = {"board_page", "broken_after_link", "broken_after_text"};

template <board::PostList (*Extract)(const std::string&)>
void RunExtraction(benchmark::State& state) {
    const std::string& markup = Markup(static_cast<int>(state.range(0)));
    std::size_t lines = 0;
    for (auto _ : state) {
        board::PostList list = Extract(markup);
        lines = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * markup.size()));
    state.SetLabel(std::string(kInputNames[state.range(0)]) + ", " + std::to_string(markup.size()) + " bytes, " +
                   std::to_string(lines) + " lines" +
                   (state.range(0) == 0 ? ", " + std::to_string(Input().rows) + " rows" : ""));
}

board::PostList Linear(const std::string& markup) { return board::ExtractPostList(markup); }

void BM_ExtractPostList(benchmark::State& state) { RunExtraction<Linear>(state); }
void BM_ReferenceExtractPostList(benchmark::State& state) { RunExtraction<RefExtractPostList>(state); }
BENCHMARK(BM_ExtractPostList)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReferenceExtractPostList)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

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

// Keeps the console output and remembers each run's time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                seconds_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        }
    }
    void PrintRatios() const {
        for (int i = 0; i < 3; ++i) {
            const std::string arg = "/" + std::to_string(i);
            const auto linear = seconds_.find("BM_ExtractPostList" + arg);
            const auto reference = seconds_.find("BM_ReferenceExtractPostList" + arg);
            if (linear == seconds_.end() || reference == seconds_.end() || linear->second <= 0) continue;
            std::printf("ratio reference/linear %-18s %8.1fx\n", kInputNames[i], reference->second / linear->second);
        }
    }

private:
    std::map<std::string, double> seconds_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Both versions keep the same rules: they must give the same lists.
    for (int i = 0; i < 3; ++i) {
        if (board::ExtractPostList(Markup(i)) != RefExtractPostList(Markup(i))) {
            std::fprintf(stderr, "reference and linear extraction differ on %s\n", kInputNames[i]);
            return 1;
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
