#pragma once
#include "client/ClientState.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::board {

// The watch list holds at most this many conditions: enough for anyone, and
// a bound on the matching work per post line and on the settings file.
inline constexpr std::size_t kMaxWatchEntries = 1000;

// Words to leave out, as the settings keep them and the watch-list window
// takes them: separated by commas, blanks around each word dropped, empty
// ones ignored. A word never holds a comma.
std::vector<std::string> SplitExcludeWords(std::string_view text);
std::string JoinExcludeWords(const std::vector<std::string>& words);

// A hit for one condition unless the line holds one of its words to leave out
// (each a byte substring, as the condition's words are).
bool WatchHits(std::string_view condition, const std::vector<std::string>& exclude, std::string_view line);

// The condition a post line is a hit for: the main condition (with FExclude)
// first, then the watch list in its order, passing over entries switched off.
// Nothing when no condition hits.
std::optional<std::string> FirstHitCondition(const client::ClientState& state, std::string_view line);

// What the message list and the notification say of a hit: "검색단어 : " and
// the condition that matched (cp949).
std::string HitConditionText(const std::string& condition);
// The message-list line under the post line of a hit: "└ " and the above.
std::string HitListLine(const std::string& condition);

} // namespace quorlan::board
