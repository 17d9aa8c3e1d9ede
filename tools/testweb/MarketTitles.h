#pragma once
#include "tools/testweb/Board.h"

#include <string>
#include <vector>

namespace quorlan::testweb {

// Realistic marketplace texts, UTF-8. The automatic titles are more than a list
// page holds and differ from the seeded ones even with digits and spaces taken
// out (how clients compare lines), so a new automatic post never repeats a line
// still shown on the page.
const std::vector<std::string>& SeedTitles();
const std::vector<std::string>& AutoPostTitles();
const std::vector<std::string>& Writers();
// The first writers are members of the board, the rest guests.
inline constexpr std::size_t kMemberWriters = 9;
// A member's number on the board (from 2; 1 is the operator), 0 for a guest.
int MemberNumber(const std::string& writerCp949);

// A post body that fits the title (cp949).
std::string BodyFor(const std::string& titleCp949);

// Fills an empty board with the seeded posts, oldest first, dated back from now.
void SeedBoard(Board& board, std::chrono::system_clock::time_point now);

} // namespace quorlan::testweb
