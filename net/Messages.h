#pragma once
#include <cstdint>

// Every message of the wire protocol, once: its direction (the list it is
// in), type letter, name and layout. The enums below, the codec's choice of
// layout and the switches that handle a message are all derived from these
// lists; a switch over one of the enums has no default, so the build fails
// (-Werror=switch) at every switch that misses a row.

// Client requests, by RequestLayout:
//   U32        u32 value                               (7 bytes)
//   Fields2/3  two or three 33-byte text fields        (69 / 102 bytes)
//   U32Line    u32, a text of up to 255 bytes and NUL
//   Line       a text of up to 255 bytes and NUL
//   List       a post-list text of up to 6,143 bytes and NUL
#define QUORLAN_CLIENT_REQUESTS(X)                                                                                     \
    X('d', Version, U32)                                                                                               \
    X('e', Login, Fields2)                                                                                             \
    X('f', NewAccount, Fields3)                                                                                        \
    X('g', ChangePassword, Fields2)                                                                                    \
    X('h', SetBoard, U32Line)                                                                                          \
    X('i', ListReply, List)                                                                                            \
    X('j', ListReport, List)                                                                                           \
    X('k', NewPost, Line)                                                                                              \
    X('l', RequestPhone, Line)                                                                                         \
    X('m', SearchState, U32)                                                                                           \
    X('n', RobotMode, U32)                                                                                             \
    X('o', RequestIdentNumber, Fields2)

// Server messages, by ServerLayout, each with the letter of the request it
// answers:
//   Result     u32 code                                (7 bytes; 1 is success)
//   Pad        one padding byte                        (4 bytes)
//   Text       a text and NUL
//   FieldText  a 33-byte text field, a text and NUL
#define QUORLAN_SERVER_MESSAGES(X)                                                                                     \
    X('d', VersionResult, Result)                                                                                      \
    X('e', LoginResult, Result)                                                                                        \
    X('f', NewAccountResult, Result)                                                                                   \
    X('g', ChangePasswordResult, Result)                                                                               \
    X('h', SetBoardResult, Result)                                                                                     \
    X('i', ListRequest, Pad)                                                                                           \
    X('j', CheckList, Text)                                                                                            \
    X('k', ServerNewPost, Text)                                                                                        \
    X('l', RequestPhoneResult, Result)                                                                                 \
    X('n', RequestSMS, FieldText)                                                                                      \
    X('p', System, Text)

namespace quorlan::net {

enum class RequestLayout { U32, Fields2, Fields3, U32Line, Line, List };
enum class ServerLayout { Result, Pad, Text, FieldText };

// The two directions share letters, so they are two enums.
#define QUORLAN_ENUMERATOR(letter, name, layout) name = letter,
enum ClientMsg : std::uint8_t { QUORLAN_CLIENT_REQUESTS(QUORLAN_ENUMERATOR) };
enum ServerMsg : std::uint8_t { QUORLAN_SERVER_MESSAGES(QUORLAN_ENUMERATOR) };
#undef QUORLAN_ENUMERATOR

// The layout of a letter of one direction; nothing for any other letter.
template <class LayoutKind> struct LayoutOf {
    bool known = false;
    LayoutKind layout{};
};
#define QUORLAN_REQUEST_CASE(letter, name, kind)                                                                       \
    case letter:                                                                                                       \
        return {true, RequestLayout::kind};
#define QUORLAN_SERVER_CASE(letter, name, kind)                                                                        \
    case letter:                                                                                                       \
        return {true, ServerLayout::kind};
constexpr LayoutOf<RequestLayout> LayoutOfRequest(std::uint8_t type) {
    switch (type) {
        QUORLAN_CLIENT_REQUESTS(QUORLAN_REQUEST_CASE)
    default:
        return {};
    }
}
constexpr LayoutOf<ServerLayout> LayoutOfServerMessage(std::uint8_t type) {
    switch (type) {
        QUORLAN_SERVER_MESSAGES(QUORLAN_SERVER_CASE)
    default:
        return {};
    }
}
#undef QUORLAN_REQUEST_CASE
#undef QUORLAN_SERVER_CASE

} // namespace quorlan::net
