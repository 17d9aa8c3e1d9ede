#include "net/Codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include <string>
#include <vector>

using namespace quorlan::net;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Hex(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<std::uint8_t>(x));
    return b;
}

struct LayoutCase {
    const char* name;
    Encoded encoded;
    Bytes expected;
};

} // namespace

TEST(Codec, FixedLayoutsMatchTheWireBytes) {
    const LayoutCase cases[] = {
        {"Version", EncodeVersion(), Hex({0x07, 0x00, 0x64, 0x04, 0x00, 0x00, 0x00})},
        {"SearchState 1", EncodeSearchState(1), Hex({0x07, 0x00, 0x6D, 0x01, 0x00, 0x00, 0x00})},
        {"SearchState 0", EncodeSearchState(0), Hex({0x07, 0x00, 0x6D, 0x00, 0x00, 0x00, 0x00})},
        {"RobotMode", EncodeRobotMode(1), Hex({0x07, 0x00, 0x6E, 0x01, 0x00, 0x00, 0x00})},
        {"ListReply empty", EncodeListReply(""), Hex({0x04, 0x00, 0x69, 0x00})},
        {"ListReport one line", EncodeListReport("ab\r\n"), Hex({0x08, 0x00, 0x6A, 'a', 'b', 0x0D, 0x0A, 0x00})},
        {"NewPost", EncodeNewPost("x"), Hex({0x05, 0x00, 0x6B, 'x', 0x00})},
        {"RequestPhone", EncodeRequestPhone("y"), Hex({0x05, 0x00, 0x6C, 'y', 0x00})},
        {"SetBoard", EncodeSetBoard(600, "u"), Hex({0x09, 0x00, 0x68, 0x58, 0x02, 0x00, 0x00, 'u', 0x00})},
        {"VersionResult 1", EncodeResult(VersionResult, 1), Hex({0x07, 0x00, 0x64, 0x01, 0x00, 0x00, 0x00})},
        {"RequestPhoneResult max", EncodeResult(RequestPhoneResult, 0xFFFFFFFFu),
         Hex({0x07, 0x00, 0x6C, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"ListRequest", EncodeListRequest(), Hex({0x04, 0x00, 0x69, 0x00})},
        {"System", EncodeSystem("hi"), Hex({0x06, 0x00, 0x70, 'h', 'i', 0x00})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.encoded.ok());
        EXPECT_EQ(c.encoded.bytes, c.expected);
    }
}

TEST(Codec, FieldRequestsAreFixedSizeWithZeroPaddedFields) {
    const auto login = EncodeLogin("010-1234-5678", "pw");
    ASSERT_TRUE(login.ok());
    ASSERT_EQ(login.bytes.size(), 69u);
    EXPECT_EQ(login.bytes[0], 69);
    EXPECT_EQ(login.bytes[2], 'e');
    EXPECT_EQ(std::string(login.bytes.begin() + 3, login.bytes.begin() + 16), "010-1234-5678");
    EXPECT_EQ(login.bytes[16], 0);
    EXPECT_EQ(login.bytes[36], 'p');
    EXPECT_EQ(login.bytes[38], 0);

    const auto account = EncodeNewAccount("a", "b", "c");
    ASSERT_EQ(account.bytes.size(), 102u);
    EXPECT_EQ(account.bytes[2], 'f');
    EXPECT_EQ(account.bytes[69], 'c');

    EXPECT_EQ(EncodeChangePassword("", "").bytes.size(), 69u);
    EXPECT_EQ(EncodeRequestIdentNumber("", "").bytes[2], 'o');
}

TEST(Codec, ThirtyTwoByteFieldFitsAndThirtyThreeIsRefused) {
    const std::string full(32, 'x');
    const auto ok = EncodeLogin(full, full);
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(ok.bytes[3 + 31], 'x');
    EXPECT_EQ(ok.bytes[3 + 32], 0); // the NUL takes the field's last byte
    EXPECT_EQ(ok.bytes[36], 'x');

    const auto refused = EncodeLogin(std::string(33, 'x'), "");
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(refused.bytes.empty());
    EXPECT_FALSE(EncodeNewAccount("", "", std::string(33, '1')).ok());
}

TEST(Codec, TextLimitsRefuseWithError) {
    struct Case {
        const char* name;
        Encoded atLimit;
        std::size_t expectedSize;
        Encoded overLimit;
    };
    const Case cases[] = {
        {"SetBoard", EncodeSetBoard(600, std::string(255, 'u')), 263, EncodeSetBoard(600, std::string(256, 'u'))},
        {"ListReport", EncodeListReport(std::string(6143, 'l')), 6147, EncodeListReport(std::string(6144, 'l'))},
        {"ListReply", EncodeListReply(std::string(6143, 'l')), 6147, EncodeListReply(std::string(6144, 'l'))},
        {"NewPost", EncodeNewPost(std::string(255, 'n')), 259, EncodeNewPost(std::string(256, 'n'))},
        {"RequestPhone", EncodeRequestPhone(std::string(255, 'r')), 259, EncodeRequestPhone(std::string(256, 'r'))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.atLimit.ok());
        EXPECT_EQ(c.atLimit.bytes.size(), c.expectedSize);
        EXPECT_EQ(c.atLimit.bytes[0] | (c.atLimit.bytes[1] << 8), static_cast<int>(c.expectedSize));
        EXPECT_EQ(c.atLimit.bytes.back(), 0);
        EXPECT_FALSE(c.overLimit.ok());
        EXPECT_EQ(c.overLimit.error, "error");
    }
}

TEST(Codec, DecodesServerResultsAndShortResultsAreFailures) {
    const auto ok = EncodeResult(LoginResult, 1);
    const auto m = DecodeServerMessage(ok.bytes.data(), ok.bytes.size());
    EXPECT_EQ(m.type, 'e');
    EXPECT_EQ(m.length, 7);
    EXPECT_EQ(m.code, 1u);

    const Bytes shortResult = Hex({0x05, 0x00, 0x64, 0x01, 0x00});
    const auto s = DecodeServerMessage(shortResult.data(), shortResult.size());
    EXPECT_EQ(s.type, 'd');
    EXPECT_FALSE(s.code.has_value());
}

TEST(Codec, DecodesTextsUpToTheirNulAndNeverPastThePacket) {
    const Bytes checkList = Hex({0x09, 0x00, 0x6A, 'a', 0x0D, 0x0A, 0x00, 'z', 'z'});
    EXPECT_EQ(DecodeServerMessage(checkList.data(), checkList.size()).text, "a\r\n");

    const Bytes noNul = Hex({0x05, 0x00, 0x70, 'h', 'i'});
    EXPECT_EQ(DecodeServerMessage(noNul.data(), noNul.size()).text, "hi");

    const auto sms = EncodeRequestSMS("000-0000-0000", "abc");
    ASSERT_TRUE(sms.ok());
    ASSERT_EQ(sms.bytes.size(), 3u + 33u + 4u);
    const auto m = DecodeServerMessage(sms.bytes.data(), sms.bytes.size());
    EXPECT_EQ(m.type, 'n');
    EXPECT_EQ(m.phone, "000-0000-0000");
    EXPECT_EQ(m.text, "abc");

    // A RequestSMS cut inside its phone field: the phone stops at the packet's end.
    const Bytes cut = Hex({0x06, 0x00, 0x6E, '0', '1', '2'});
    const auto c = DecodeServerMessage(cut.data(), cut.size());
    EXPECT_EQ(c.phone, "012");
    EXPECT_EQ(c.text, "");
}

TEST(Codec, ClientRequestsRoundTripThroughTheServerDecoder) {
    const auto check = [](const Encoded& e) {
        EXPECT_TRUE(e.ok());
        auto d = DecodeClientRequest(e.bytes.data(), e.bytes.size());
        EXPECT_TRUE(d.request.has_value()) << d.error;
        return d.request.value_or(ClientRequest{});
    };
    EXPECT_EQ(check(EncodeVersion()).value, 4u);
    const auto login = check(EncodeLogin("010", "pw"));
    EXPECT_EQ(login.type, 'e');
    EXPECT_EQ(login.fields[0], "010");
    EXPECT_EQ(login.fields[1], "pw");
    EXPECT_EQ(check(EncodeNewAccount("a", "b", "123456")).fields[2], "123456");
    const auto board = check(EncodeSetBoard(30, "http://b/"));
    EXPECT_EQ(board.repeatSeconds, 30);
    EXPECT_EQ(board.text, "http://b/");
    EXPECT_EQ(check(EncodeListReport("a\r\nb\r\n")).text, "a\r\nb\r\n");
    EXPECT_EQ(check(EncodeRequestPhone("line")).text, "line");
    EXPECT_EQ(check(EncodeSearchState(0)).value, 0u);
}

TEST(Codec, ServerDecoderRejectsMalformedRequests) {
    const struct {
        const char* name;
        Bytes packet;
    } cases[] = {
        {"length field differs from size", Hex({0x08, 0x00, 0x64, 3, 0, 0, 0})},
        {"short version", Hex({0x06, 0x00, 0x64, 3, 0, 0})},
        {"unknown type", Hex({0x04, 0x00, 0x7A, 0x00})},
        {"server-only letter", Hex({0x04, 0x00, 0x70, 0x00})},
        {"trailing text without NUL", Hex({0x05, 0x00, 0x6B, 'a', 'b'})},
        {"NUL inside text", Hex({0x06, 0x00, 0x6B, 'a', 0x00, 0x00})},
        {"short header", Hex({0x02, 0x00})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto d = DecodeClientRequest(c.packet.data(), c.packet.size());
        EXPECT_FALSE(d.request.has_value());
        EXPECT_FALSE(d.error.empty());
    }
    Bytes unterminated = EncodeLogin("a", "b").bytes;
    std::fill(unterminated.begin() + 3, unterminated.begin() + 36, 'x');
    EXPECT_FALSE(DecodeClientRequest(unterminated.data(), unterminated.size()).request.has_value());
}

namespace {

// A 33-byte text field as written on the wire: the text, then zeros.
Bytes Field(const std::string& text) {
    Bytes b(text.begin(), text.end());
    b.resize(33, 0);
    return b;
}
Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

#define QUORLAN_NAME_OF(letter, name, layout) name,
const ClientMsg kEveryRequest[] = {QUORLAN_CLIENT_REQUESTS(QUORLAN_NAME_OF)};
const ServerMsg kEveryServerMessage[] = {QUORLAN_SERVER_MESSAGES(QUORLAN_NAME_OF)};
#undef QUORLAN_NAME_OF

struct RequestRow {
    ClientMsg type;
    Encoded encoded;
    Bytes wire;
    std::uint32_t value = 0;
    std::int32_t repeatSeconds = 0;
    std::vector<std::string> fields = {};
    std::string text = {};
};

struct ServerRow {
    ServerMsg type;
    Encoded encoded;
    Bytes wire;
    std::optional<std::uint32_t> code = {};
    std::string phone = {};
    std::string text = {};
};

} // namespace

TEST(Codec, EveryMessageOfTheTableHasItsWireBytesAndRoundTrips) {
    const RequestRow requests[] = {
        {Version, EncodeVersion(), Hex({0x07, 0x00, 0x64, 0x04, 0x00, 0x00, 0x00}), 4},
        {Login, EncodeLogin("010", "pw"), Join({Hex({0x45, 0x00, 0x65}), Field("010"), Field("pw")}), 0, 0,
         {"010", "pw"}},
        {NewAccount, EncodeNewAccount("a", "b", "123456"),
         Join({Hex({0x66, 0x00, 0x66}), Field("a"), Field("b"), Field("123456")}), 0, 0, {"a", "b", "123456"}},
        {ChangePassword, EncodeChangePassword("old", "new"), Join({Hex({0x45, 0x00, 0x67}), Field("old"), Field("new")}),
         0, 0, {"old", "new"}},
        {SetBoard, EncodeSetBoard(600, "u"), Hex({0x09, 0x00, 0x68, 0x58, 0x02, 0x00, 0x00, 'u', 0x00}), 0, 600, {},
         "u"},
        {ListReply, EncodeListReply("a\r\n"), Hex({0x07, 0x00, 0x69, 'a', 0x0D, 0x0A, 0x00}), 0, 0, {}, "a\r\n"},
        {ListReport, EncodeListReport("ab\r\n"), Hex({0x08, 0x00, 0x6A, 'a', 'b', 0x0D, 0x0A, 0x00}), 0, 0, {},
         "ab\r\n"},
        {NewPost, EncodeNewPost("x"), Hex({0x05, 0x00, 0x6B, 'x', 0x00}), 0, 0, {}, "x"},
        {RequestPhone, EncodeRequestPhone("y"), Hex({0x05, 0x00, 0x6C, 'y', 0x00}), 0, 0, {}, "y"},
        {SearchState, EncodeSearchState(1), Hex({0x07, 0x00, 0x6D, 0x01, 0x00, 0x00, 0x00}), 1},
        {RobotMode, EncodeRobotMode(1), Hex({0x07, 0x00, 0x6E, 0x01, 0x00, 0x00, 0x00}), 1},
        {RequestIdentNumber, EncodeRequestIdentNumber("id", "pw"),
         Join({Hex({0x45, 0x00, 0x6F}), Field("id"), Field("pw")}), 0, 0, {"id", "pw"}},
    };
    for (ClientMsg type : kEveryRequest) {
        SCOPED_TRACE(std::string("request ") + static_cast<char>(type));
        const auto row = std::find_if(std::begin(requests), std::end(requests),
                                      [type](const RequestRow& r) { return r.type == type; });
        ASSERT_NE(row, std::end(requests)) << "no wire bytes written for this request";
        ASSERT_TRUE(row->encoded.ok());
        EXPECT_EQ(row->encoded.bytes, row->wire);
        const auto decoded = DecodeClientRequest(row->wire.data(), row->wire.size());
        ASSERT_TRUE(decoded.request.has_value()) << decoded.error;
        EXPECT_EQ(decoded.request->type, type);
        EXPECT_EQ(decoded.request->value, row->value);
        EXPECT_EQ(decoded.request->repeatSeconds, row->repeatSeconds);
        for (std::size_t i = 0; i < row->fields.size(); ++i) EXPECT_EQ(decoded.request->fields[i], row->fields[i]);
        EXPECT_EQ(decoded.request->text, row->text);
    }
    EXPECT_EQ(std::size(requests), std::size(kEveryRequest));

    const ServerRow messages[] = {
        {VersionResult, EncodeResult(VersionResult, 1), Hex({0x07, 0x00, 0x64, 0x01, 0x00, 0x00, 0x00}), 1u},
        {LoginResult, EncodeResult(LoginResult, 0), Hex({0x07, 0x00, 0x65, 0x00, 0x00, 0x00, 0x00}), 0u},
        {NewAccountResult, EncodeResult(NewAccountResult, 2), Hex({0x07, 0x00, 0x66, 0x02, 0x00, 0x00, 0x00}), 2u},
        {ChangePasswordResult, EncodeResult(ChangePasswordResult, 1), Hex({0x07, 0x00, 0x67, 0x01, 0x00, 0x00, 0x00}),
         1u},
        {SetBoardResult, EncodeResult(SetBoardResult, 0x01020304u), Hex({0x07, 0x00, 0x68, 0x04, 0x03, 0x02, 0x01}),
         0x01020304u},
        {ListRequest, EncodeListRequest(), Hex({0x04, 0x00, 0x69, 0x00})},
        {CheckList, EncodeCheckList("a\r\n"), Hex({0x07, 0x00, 0x6A, 'a', 0x0D, 0x0A, 0x00}), {}, {}, "a\r\n"},
        {ServerNewPost, EncodeServerNewPost("p"), Hex({0x05, 0x00, 0x6B, 'p', 0x00}), {}, {}, "p"},
        {RequestPhoneResult, EncodeResult(RequestPhoneResult, 0xFFFFFFFFu),
         Hex({0x07, 0x00, 0x6C, 0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFFFFFFu},
        {RequestSMS, EncodeRequestSMS("010", "hi"), Join({Hex({0x27, 0x00, 0x6E}), Field("010"), Hex({'h', 'i', 0x00})}),
         {}, "010", "hi"},
        {System, EncodeSystem("hi"), Hex({0x06, 0x00, 0x70, 'h', 'i', 0x00}), {}, {}, "hi"},
    };
    for (ServerMsg type : kEveryServerMessage) {
        SCOPED_TRACE(std::string("server message ") + static_cast<char>(type));
        const auto row = std::find_if(std::begin(messages), std::end(messages),
                                      [type](const ServerRow& r) { return r.type == type; });
        ASSERT_NE(row, std::end(messages)) << "no wire bytes written for this message";
        ASSERT_TRUE(row->encoded.ok());
        EXPECT_EQ(row->encoded.bytes, row->wire);
        const ServerMessage decoded = DecodeServerMessage(row->wire.data(), row->wire.size());
        EXPECT_EQ(decoded.type, type);
        EXPECT_EQ(decoded.length, row->wire.size());
        EXPECT_EQ(decoded.code, row->code);
        EXPECT_EQ(decoded.phone, row->phone);
        EXPECT_EQ(decoded.text, row->text);
    }
    EXPECT_EQ(std::size(messages), std::size(kEveryServerMessage));
}
