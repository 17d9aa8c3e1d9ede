#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::board {

// The search-condition language: a single word, A&B (both words) or A+B
// (either word). "&" is looked for before "+", the split is at the first
// one, nothing is trimmed, and any later "&"/"+" belongs to the second word.
struct SearchWords {
    enum class Form { Single, Both, Either };
    Form form = Form::Single;
    std::string first;  // the whole condition for Single
    std::string second; // empty for Single
};

SearchWords ParseSearchCondition(std::string_view condition);

// Whether word occurs in line as a contiguous, case-sensitive byte substring.
// An empty word never occurs.
bool WordOccurs(std::string_view word, std::string_view line);

// Whether a post line is a hit for the condition.
bool ConditionHits(std::string_view condition, std::string_view line);

// What the "단어설정" dialog says against a condition, in the order it says it:
// 2 bytes or fewer ("한글자이상 검색가능합니다."), and then, independently, two
// or more "&"/"+" in all ("검색조합은 1개만 사용가능합니다."). Empty when the
// condition is accepted. Texts are cp949.
std::vector<std::string> ConditionRefusals(std::string_view condition);

} // namespace quorlan::board
