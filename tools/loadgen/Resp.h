#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::loadgen {

// The Redis serialisation protocol, as much as pub/sub needs.
std::string RespCommand(const std::vector<std::string_view>& words);
// Parses one top-level value at the start of `data`: its bytes, or 0 when
// incomplete (or unparsable: `bad` is set). An array's strings and integers
// go to `items`; a plain value is one item.
std::size_t ParseResp(const std::uint8_t* data, std::size_t size, std::vector<std::string>& items, bool& bad);

} // namespace quorlan::loadgen
