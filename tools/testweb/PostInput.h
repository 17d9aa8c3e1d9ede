#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace quorlan::testweb {

// Longest title and writer accepted, in cp949 bytes. The title limit is far
// above what the client sends as one line (255), so over-long lines can still
// be put on the board on purpose.
inline constexpr std::size_t kMaxTitleBytes = 1000;
inline constexpr std::size_t kMaxWriterBytes = 40;

// A new post as asked for over HTTP, converted to cp949. error is empty when
// the request is usable.
struct PostInput {
    std::string title;
    std::string writer;
    std::string error;
};

// Reads the UTF-8 fields "title" and optional "writer" from a JSON object (when
// the content type says JSON) or else from a form body, then from the query.
// Line breaks, tabs and other control characters become spaces (each post is one
// line of the list page), ends are trimmed; an empty or over-long title, or a
// body that is not a JSON object, is an error.
PostInput ReadPostInput(std::string_view contentType, std::string_view body, std::string_view query);

// Control characters to spaces, then both ends trimmed (ASCII blanks only).
std::string CleanLine(std::string_view utf8);

} // namespace quorlan::testweb
