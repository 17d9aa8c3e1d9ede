#pragma once
#include <string>
#include <string_view>

namespace quorlan::net {

// The line every program prints for --version: its name, the release and the
// client build number the server accepts, e.g. "quorlan-server 0.1 (client build 3)".
std::string ProgramVersion(std::string_view program);

} // namespace quorlan::net
