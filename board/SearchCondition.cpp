#include "SearchCondition.h"

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

} // namespace quorlan::board
