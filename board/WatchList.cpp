#include "WatchList.h"

#include "SearchCondition.h"
#include "base/Cp949.h"

#include <algorithm>

namespace quorlan::board {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

} // namespace

std::vector<std::string> SplitExcludeWords(std::string_view text) {
    std::vector<std::string> words;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view word = TrimBlanks(text.substr(0, comma));
        if (!word.empty()) words.emplace_back(word);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return words;
}

std::string JoinExcludeWords(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty()) text += ',';
        text += word;
    }
    return text;
}

bool WatchHits(std::string_view condition, const std::vector<std::string>& exclude, std::string_view line) {
    if (!ConditionHits(condition, line)) return false;
    return std::none_of(exclude.begin(), exclude.end(),
                        [line](const std::string& word) { return WordOccurs(word, line); });
}

std::optional<std::string> FirstHitCondition(const client::ClientState& state, std::string_view line) {
    if (WatchHits(state.FSearchCondition, state.FExclude, line)) return state.FSearchCondition;
    for (const client::WatchEntry& entry : state.FWatchList) {
        if (!entry.off && WatchHits(entry.condition, entry.exclude, line)) return entry.condition;
    }
    return std::nullopt;
}

std::string HitConditionText(const std::string& condition) {
    return QUORLAN_CP949("검색단어 : ") + condition;
}

std::string HitListLine(const std::string& condition) {
    return QUORLAN_CP949("└ ") + HitConditionText(condition);
}

} // namespace quorlan::board
