#pragma once
#include "Messages.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The wire format shared by the client, the server and the test peers. Every
// packet: u16 little-endian total length (header included), u8 type letter,
// payload (its layout by type: Messages.h). Texts are cp949 bytes ending in
// one NUL; fixed text fields are 33 bytes wide. An answer carries the letter
// of the request it answers.
namespace quorlan::net {

using Packet = std::vector<std::uint8_t>;

// The client build the server accepts (Version). Raised whenever clients would
// make other post lines from the same page (build 4: posts found among the
// page's links), so clients of different rules never share a board's lists.
inline constexpr std::uint32_t kClientBuild = 4;
inline constexpr std::size_t kHeaderSize = 3;
inline constexpr std::size_t kFieldWidth = 33;
inline constexpr std::size_t kMaxFieldText = kFieldWidth - 1;
// Limits on the text length n of the client's requests (n + NUL + header).
inline constexpr std::size_t kMaxLineText = 255;  // SetBoard URL, NewPost, RequestPhone
inline constexpr std::size_t kMaxListText = 6143; // ListReply, ListReport
// The largest packet the client's receive queue can ever hold.
inline constexpr std::size_t kMaxPacket = 8191;
inline constexpr std::uint32_t kResultSuccess = 1;


// A built packet, or the reason it was refused. A refused request sends
// nothing; `error` is the cp949 text the user is shown in a message box.
struct [[nodiscard]] Encoded {
    Packet bytes;
    std::string error;
    bool ok() const { return error.empty(); }
};

// ---- client -> server ------------------------------------------------------
Encoded EncodeVersion(std::uint32_t build = kClientBuild);
Encoded EncodeLogin(std::string_view id, std::string_view password);
Encoded EncodeNewAccount(std::string_view id, std::string_view password, std::string_view identNumber);
Encoded EncodeChangePassword(std::string_view current, std::string_view next);
Encoded EncodeRequestIdentNumber(std::string_view id, std::string_view password);
Encoded EncodeSetBoard(std::int32_t repeatSeconds, std::string_view url);
Encoded EncodeListReply(std::string_view postListText);
Encoded EncodeListReport(std::string_view postListText);
Encoded EncodeNewPost(std::string_view line);
Encoded EncodeRequestPhone(std::string_view line);
Encoded EncodeSearchState(std::uint32_t value);
Encoded EncodeRobotMode(std::uint32_t value);

// ---- server -> client ------------------------------------------------------
// Result messages: VersionResult .. SetBoardResult, RequestPhoneResult.
Encoded EncodeResult(ServerMsg type, std::uint32_t code);
// Header and one padding byte: a bare header would not be framed until more arrives.
Encoded EncodeListRequest();
Encoded EncodeCheckList(std::string_view postListText);
Encoded EncodeServerNewPost(std::string_view line);
Encoded EncodeRequestSMS(std::string_view phone, std::string_view message);
Encoded EncodeSystem(std::string_view notice);

// ---- decoding --------------------------------------------------------------
struct PacketHeader {
    std::uint16_t length = 0;
    std::uint8_t type = 0;
};
// Nothing when fewer than 3 bytes are given.
std::optional<PacketHeader> DecodeHeader(const std::uint8_t* data, std::size_t size);

// What the client reads of a server message, decoded the way the client's
// dispatcher reads it. Texts stop at their NUL and never run past their field
// or the packet. A result message shorter than 7 bytes has no code: it counts
// as a failure and `code` reads 0.
struct ServerMessage {
    std::uint8_t type = 0;
    std::uint16_t length = 0;
    std::optional<std::uint32_t> code; // result messages
    std::string phone;                 // RequestSMS
    std::string text;                  // CheckList, NewPost, RequestSMS, System
};
ServerMessage DecodeServerMessage(const std::uint8_t* packet, std::size_t size);

// A client request as the server reads it. Decoding is strict: the length
// field must equal the packet size, fixed-size requests must have their exact
// length, every text must end in its NUL inside its field or at the last byte.
struct ClientRequest {
    std::uint8_t type = 0;
    std::uint32_t value = 0;         // Version, SearchState, RobotMode
    std::int32_t repeatSeconds = 0;  // SetBoard
    std::string fields[3];           // Login, NewAccount, ChangePassword, RequestIdentNumber
    std::string text;                // SetBoard URL, ListReply, ListReport, NewPost, RequestPhone
};
struct [[nodiscard]] DecodedRequest {
    std::optional<ClientRequest> request;
    std::string error; // why it was refused (for logs)
};
DecodedRequest DecodeClientRequest(const std::uint8_t* packet, std::size_t size);

} // namespace quorlan::net
