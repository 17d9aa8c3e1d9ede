#include "SearchCondition.h"

#include "base/Cp949.h"

#include <algorithm>

namespace quorlan::board {

SearchWords ParseSearchCondition(std::string_view condition) {
    SearchWords words;
    std::size_t at = condition.find('&');
    if (at != std::string_view::npos) {
        words.form = SearchWords::Form::Both;
    } else if ((at = condition.find('+')) != std::string_view::npos) {
        words.form = SearchWords::Form::Either;
    } else {
        words.first = condition;
        return words;
    }
    words.first = condition.substr(0, at);
    words.second = condition.substr(at + 1);
    return words;
}

bool WordOccurs(std::string_view word, std::string_view line) {
    return !word.empty() && line.find(word) != std::string_view::npos;
}

bool ConditionHits(std::string_view condition, std::string_view line) {
    const SearchWords words = ParseSearchCondition(condition);
    switch (words.form) {
    case SearchWords::Form::Both:
        return WordOccurs(words.first, line) && WordOccurs(words.second, line);
    case SearchWords::Form::Either:
        return WordOccurs(words.first, line) || WordOccurs(words.second, line);
    case SearchWords::Form::Single:
        break;
    }
    return WordOccurs(words.first, line);
}

std::vector<std::string> ConditionRefusals(std::string_view condition) {
    std::vector<std::string> refusals;
    // A single Hangul syllable is 2 bytes: refused; 3 bytes pass.
    if (condition.size() <= 2) refusals.push_back(QUORLAN_CP949("한글자이상 검색가능합니다."));
    const auto operators =
        std::count_if(condition.begin(), condition.end(), [](char c) { return c == '&' || c == '+'; });
    if (operators >= 2) refusals.push_back(QUORLAN_CP949("검색조합은 1개만 사용가능합니다."));
    return refusals;
}

} // namespace quorlan::board
