#include "Codec.h"

#include "base/Cp949.h"

#include <algorithm>
#include <cstring>

namespace quorlan::net {
namespace {

void PutU16(Packet& p, std::size_t at, std::uint16_t v) {
    p[at] = static_cast<std::uint8_t>(v & 0xFF);
    p[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(Packet& p, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

Packet NewPacket(std::size_t total, std::uint8_t type) {
    Packet p(total, 0);
    PutU16(p, 0, static_cast<std::uint16_t>(total));
    p[2] = type;
    return p;
}

Encoded Refused(std::string why) { return Encoded{{}, std::move(why)}; }

// The text shown when a sender refuses a text over its limit.
const std::string& kTooLongError() {
    static const std::string text = "error";
    return text;
}

const std::string& kFieldTooLongError() {
    return QUORLAN_CP949("입력한 글자가 너무 깁니다. 32바이트(한글 16자)까지 입력할 수 있습니다.");
}

Encoded FixedU32(std::uint8_t type, std::uint32_t value) {
    Packet p = NewPacket(7, type);
    PutU32(p, 3, value);
    return Encoded{std::move(p), {}};
}

// Fixed 33-byte fields: the text, its NUL, zeros to the end of the field. A
// text that would not leave room for the NUL is refused as a whole.
Encoded Fields(std::uint8_t type, std::initializer_list<std::string_view> fields) {
    for (auto f : fields)
        if (f.size() > kMaxFieldText) return Refused(kFieldTooLongError());
    Packet p = NewPacket(kHeaderSize + kFieldWidth * fields.size(), type);
    std::size_t at = kHeaderSize;
    for (auto f : fields) {
        std::memcpy(p.data() + at, f.data(), f.size());
        at += kFieldWidth;
    }
    return Encoded{std::move(p), {}};
}

// Header, optional prefix bytes, the text, its NUL.
Encoded Trailing(std::uint8_t type, std::string_view text, std::size_t maxText, const std::string& error,
                 std::size_t prefix = 0) {
    if (text.size() > maxText) return Refused(error);
    const std::size_t total = kHeaderSize + prefix + text.size() + 1;
    if (total > kMaxPacket) return Refused(error);
    Packet p = NewPacket(total, type);
    std::memcpy(p.data() + kHeaderSize + prefix, text.data(), text.size());
    return Encoded{std::move(p), {}};
}

std::string TextUpToNul(const std::uint8_t* from, std::size_t maxBytes) {
    const void* nul = std::memchr(from, 0, maxBytes);
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - from) : maxBytes;
    return std::string(reinterpret_cast<const char*>(from), n);
}

bool IsResultType(std::uint8_t type) {
    const auto layout = LayoutOfServerMessage(type);
    return layout.known && layout.layout == ServerLayout::Result;
}

// The longest text a request of this layout carries, and the bytes before it.
struct TextRoom {
    std::size_t maxText = 0;
    std::size_t prefix = 0;
};
TextRoom TextRoomOf(RequestLayout layout) {
    switch (layout) {
    case RequestLayout::U32Line:
        return {kMaxLineText, 4};
    case RequestLayout::Line:
        return {kMaxLineText, 0};
    case RequestLayout::List:
        return {kMaxListText, 0};
    case RequestLayout::U32:
    case RequestLayout::Fields2:
    case RequestLayout::Fields3:
        break;
    }
    return {};
}

// A request that ends in a text, laid out as the table says.
Encoded TextRequest(ClientMsg type, std::string_view text) {
    const TextRoom room = TextRoomOf(LayoutOfRequest(type).layout);
    return Trailing(type, text, room.maxText, kTooLongError(), room.prefix);
}

} // namespace

Encoded EncodeVersion(std::uint32_t build) { return FixedU32(Version, build); }
Encoded EncodeSearchState(std::uint32_t value) { return FixedU32(SearchState, value); }
Encoded EncodeRobotMode(std::uint32_t value) { return FixedU32(RobotMode, value); }

Encoded EncodeLogin(std::string_view id, std::string_view password) { return Fields(Login, {id, password}); }
Encoded EncodeNewAccount(std::string_view id, std::string_view password, std::string_view identNumber) {
    return Fields(NewAccount, {id, password, identNumber});
}
Encoded EncodeChangePassword(std::string_view current, std::string_view next) {
    return Fields(ChangePassword, {current, next});
}
Encoded EncodeRequestIdentNumber(std::string_view id, std::string_view password) {
    return Fields(RequestIdentNumber, {id, password});
}

Encoded EncodeSetBoard(std::int32_t repeatSeconds, std::string_view url) {
    Encoded e = TextRequest(SetBoard, url);
    if (e.ok()) PutU32(e.bytes, 3, static_cast<std::uint32_t>(repeatSeconds));
    return e;
}
Encoded EncodeListReply(std::string_view text) { return TextRequest(ListReply, text); }
Encoded EncodeListReport(std::string_view text) { return TextRequest(ListReport, text); }
Encoded EncodeNewPost(std::string_view line) { return TextRequest(NewPost, line); }
Encoded EncodeRequestPhone(std::string_view line) { return TextRequest(RequestPhone, line); }

Encoded EncodeResult(ServerMsg type, std::uint32_t code) {
    if (!IsResultType(type)) return Refused("not a result message type");
    return FixedU32(type, code);
}
// The client frames a packet only once a byte has arrived behind its header,
// so a bare 3-byte ListRequest would wait, unanswered, for whatever the server
// sends next. One padding byte (which the client does not read) lets it be
// handled at once.
Encoded EncodeListRequest() { return Encoded{NewPacket(kHeaderSize + 1, ListRequest), {}}; }
Encoded EncodeCheckList(std::string_view text) {
    return Trailing(CheckList, text, kMaxPacket - kHeaderSize - 1, "post list too long");
}
Encoded EncodeServerNewPost(std::string_view line) {
    return Trailing(ServerNewPost, line, kMaxPacket - kHeaderSize - 1, "post line too long");
}
Encoded EncodeSystem(std::string_view notice) {
    return Trailing(System, notice, kMaxPacket - kHeaderSize - 1, "notice too long");
}
Encoded EncodeRequestSMS(std::string_view phone, std::string_view message) {
    if (phone.size() > kMaxFieldText) return Refused("phone number too long");
    Encoded e = Trailing(RequestSMS, message, kMaxPacket - kHeaderSize - kFieldWidth - 1, "message too long",
                         kFieldWidth);
    if (e.ok()) std::memcpy(e.bytes.data() + kHeaderSize, phone.data(), phone.size());
    return e;
}

std::optional<PacketHeader> DecodeHeader(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize) return std::nullopt;
    return PacketHeader{static_cast<std::uint16_t>(data[0] | (data[1] << 8)), data[2]};
}

ServerMessage DecodeServerMessage(const std::uint8_t* packet, std::size_t size) {
    ServerMessage m;
    const auto header = DecodeHeader(packet, size);
    if (!header) return m;
    m.type = header->type;
    m.length = header->length;
    auto trailing = [&](std::size_t offset) {
        return offset < size ? TextUpToNul(packet + offset, size - offset) : std::string();
    };
    const auto layout = LayoutOfServerMessage(m.type);
    if (!layout.known) return m;
    switch (layout.layout) {
    case ServerLayout::Result:
        if (size >= 7) m.code = GetU32(packet + 3);
        break;
    case ServerLayout::Pad:
        break;
    case ServerLayout::Text:
        m.text = trailing(kHeaderSize);
        break;
    case ServerLayout::FieldText:
        if (size > kHeaderSize) {
            const std::size_t fieldBytes = std::min(kFieldWidth, size - kHeaderSize);
            m.phone = TextUpToNul(packet + kHeaderSize, fieldBytes);
        }
        m.text = trailing(kHeaderSize + kFieldWidth);
        break;
    }
    return m;
}

namespace {

DecodedRequest Bad(std::string why) { return DecodedRequest{std::nullopt, std::move(why)}; }

// A fixed field must hold its NUL somewhere in its 33 bytes.
bool ReadField(const std::uint8_t* at, std::string& out) {
    const void* nul = std::memchr(at, 0, kFieldWidth);
    if (!nul) return false;
    out.assign(reinterpret_cast<const char*>(at), static_cast<const std::uint8_t*>(nul) - at);
    return true;
}

} // namespace

DecodedRequest DecodeClientRequest(const std::uint8_t* packet, std::size_t size) {
    const auto header = DecodeHeader(packet, size);
    if (!header) return Bad("shorter than a header");
    if (header->length != size) return Bad("length field does not match the packet");
    ClientRequest r;
    r.type = header->type;
    auto fixed = [&](std::size_t expected) { return size == expected; };
    auto fields = [&](int count) -> DecodedRequest {
        if (!fixed(kHeaderSize + kFieldWidth * static_cast<std::size_t>(count))) return Bad("wrong length");
        for (int i = 0; i < count; ++i)
            if (!ReadField(packet + kHeaderSize + kFieldWidth * static_cast<std::size_t>(i), r.fields[i]))
                return Bad("text field without its NUL");
        return DecodedRequest{r, {}};
    };
    auto trailing = [&](std::size_t offset, std::size_t maxText) -> DecodedRequest {
        if (size < offset + 1) return Bad("too short");
        if (packet[size - 1] != 0) return Bad("text without its NUL");
        r.text = TextUpToNul(packet + offset, size - offset - 1);
        if (r.text.size() != size - offset - 1) return Bad("NUL inside the text");
        if (r.text.size() > maxText) return Bad("text over its limit");
        return DecodedRequest{r, {}};
    };
    const auto layout = LayoutOfRequest(r.type);
    if (!layout.known) return Bad("unknown type");
    const TextRoom room = TextRoomOf(layout.layout);
    switch (layout.layout) {
    case RequestLayout::U32:
        if (!fixed(7)) return Bad("wrong length");
        r.value = GetU32(packet + 3);
        return DecodedRequest{r, {}};
    case RequestLayout::Fields2:
        return fields(2);
    case RequestLayout::Fields3:
        return fields(3);
    case RequestLayout::U32Line:
        if (size < 8) return Bad("too short");
        r.repeatSeconds = static_cast<std::int32_t>(GetU32(packet + 3));
        return trailing(kHeaderSize + room.prefix, room.maxText);
    case RequestLayout::Line:
    case RequestLayout::List:
        return trailing(kHeaderSize, room.maxText);
    }
    return Bad("unknown type");
}

} // namespace quorlan::net
