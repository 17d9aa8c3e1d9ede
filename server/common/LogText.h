#pragma once
#include <string>
#include <string_view>

namespace quorlan::server {

// A client's cp949 text made safe for one log line: converted to UTF-8, with
// control bytes escaped so a peer cannot forge or break log lines.
std::string LogText(std::string_view cp949);

} // namespace quorlan::server
