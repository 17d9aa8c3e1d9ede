#include "NetRig.h"
#include "net/Codec.h"
#include "net/Dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quorlan;
using test::Cp;
using testing::ElementsAre;
using testing::IsEmpty;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

namespace {

struct Rig : test::NetRig {
    net::Dispatcher dispatcher{logs, state, sender, actions, clock};
    void Dispatch(const Bytes& packet) { dispatcher.DispatchPacket(packet.data(), static_cast<int>(packet.size())); }
};

// ---- result messages -------------------------------------------------------

struct ResultCase {
    const char* name;
    Bytes packet;
    Lines debug;        // the whole debug log
    Lines messages;     // UTF-8, converted before comparing
    bool loggedIn;
    bool boardSet;
    const char* dialogStatus; // UTF-8; "" when untouched
};

class ResultMessages : public testing::TestWithParam<ResultCase> {};

TEST_P(ResultMessages, LogCodeUnsignedAndChangeStateOnlyOnOne) {
    const ResultCase& c = GetParam();
    Rig rig;
    rig.state.EnteredLoginID = "010-1111-2222";
    rig.Dispatch(c.packet);

    EXPECT_EQ(rig.logs.debug, c.debug);
    Lines expectedMessages;
    for (const auto& m : c.messages) expectedMessages.push_back(Cp(m.c_str()));
    EXPECT_EQ(rig.logs.messages, expectedMessages);
    EXPECT_EQ(rig.state.FLoggedIn, c.loggedIn);
    EXPECT_EQ(rig.state.FBoardSet, c.boardSet);
    EXPECT_EQ(rig.actions.signUpResult, Cp(c.dialogStatus));
    EXPECT_THAT(rig.socket.written, IsEmpty());
}

const ResultCase kResultCases[] = {
    {"Version1", {7, 0, 'd', 1, 0, 0, 0}, {"MessageProcess: 100 7", "Version Result :1"},
     {"정상적으로 시작했습니다."}, false, false, ""},
    {"Version0", {7, 0, 'd', 0, 0, 0, 0}, {"MessageProcess: 100 7", "Version Result :0"},
     {"버전이 틀립니다."}, false, false, ""},
    {"Version2", {7, 0, 'd', 2, 0, 0, 0}, {"MessageProcess: 100 7", "Version Result :2"},
     {"버전이 틀립니다."}, false, false, ""},
    {"VersionMax", {7, 0, 'd', 0xFF, 0xFF, 0xFF, 0xFF}, {"MessageProcess: 100 7", "Version Result :4294967295"},
     {"버전이 틀립니다."}, false, false, ""},
    {"Login1", {7, 0, 'e', 1, 0, 0, 0}, {"MessageProcess: 101 7", "Login Result :1"}, {}, true, false, ""},
    {"Login0", {7, 0, 'e', 0, 0, 0, 0}, {"MessageProcess: 101 7", "Login Result :0"}, {"로그인 실패"}, false,
     false, ""},
    {"LoginMax", {7, 0, 'e', 0xFF, 0xFF, 0xFF, 0xFF}, {"MessageProcess: 101 7", "Login Result :4294967295"},
     {"로그인 실패"}, false, false, ""},
    {"NewAccount1", {7, 0, 'f', 1, 0, 0, 0}, {"MessageProcess: 102 7"}, {"NewAccount Result :1"}, false, false,
     "신규가입했습니다."},
    {"NewAccount2", {7, 0, 'f', 2, 0, 0, 0}, {"MessageProcess: 102 7"}, {"NewAccount Result :2"}, false, false,
     "신규가입을 실패했습니다."},
    {"NewAccountMax", {7, 0, 'f', 0xFF, 0xFF, 0xFF, 0xFF}, {"MessageProcess: 102 7"},
     {"NewAccount Result :4294967295"}, false, false, "신규가입을 실패했습니다."},
    {"ChangePassword1", {7, 0, 'g', 1, 0, 0, 0}, {"MessageProcess: 103 7"}, {"ChangePassword Result :1"}, false,
     false, ""},
    {"ChangePassword0", {7, 0, 'g', 0, 0, 0, 0}, {"MessageProcess: 103 7"}, {"ChangePassword Result :0"}, false,
     false, ""},
    {"SetBoard1", {7, 0, 'h', 1, 0, 0, 0}, {"MessageProcess: 104 7", "SetBoard Result :1"},
     {"게시판을 설정했습니다."}, false, true, ""},
    {"SetBoard2", {7, 0, 'h', 2, 0, 0, 0}, {"MessageProcess: 104 7", "SetBoard Result :2"}, {}, false, false, ""},
    {"SetBoardMax", {7, 0, 'h', 0xFF, 0xFF, 0xFF, 0xFF}, {"MessageProcess: 104 7", "SetBoard Result :4294967295"},
     {}, false, false, ""},
    {"RequestPhone1", {7, 0, 'l', 1, 0, 0, 0}, {"MessageProcess: 108 7"}, {"RequestPhone Result :1"}, false, false,
     ""},
    {"RequestPhone2", {7, 0, 'l', 2, 0, 0, 0}, {"MessageProcess: 108 7"}, {"RequestPhone Result :2"}, false, false,
     ""},
    // The code is little-endian: 00 01 00 00 reads 256.
    {"SetBoardLittleEndian", {7, 0, 'h', 0, 1, 0, 0}, {"MessageProcess: 104 7", "SetBoard Result :256"}, {}, false,
     false, ""},
    // Shorter than 7 bytes: no code, a failure shown as 0, even when the bytes
    // present would begin a 1.
    {"ShortLogin", {5, 0, 'e', 1, 0}, {"MessageProcess: 101 5", "Login Result :0"}, {"로그인 실패"}, false, false,
     ""},
    {"ShortSetBoard", {6, 0, 'h', 1, 0, 0}, {"MessageProcess: 104 6", "SetBoard Result :0"}, {}, false, false, ""},
    {"HeaderOnlyVersion", {3, 0, 'd'}, {"MessageProcess: 100 3", "Version Result :0"}, {"버전이 틀립니다."}, false,
     false, ""},
    {"ShortNewAccount", {4, 0, 'f', 1}, {"MessageProcess: 102 4"}, {"NewAccount Result :0"}, false, false,
     "신규가입을 실패했습니다."},
};

INSTANTIATE_TEST_SUITE_P(Dispatcher, ResultMessages, testing::ValuesIn(kResultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Dispatcher, ResultPacketsFromTheCodecMatchTheLiteralRows) {
    // The same answers as built by the server side's encoder.
    Rig rig;
    rig.Dispatch(net::EncodeResult(net::ChangePasswordResult, 4294967295u).bytes);
    rig.Dispatch(net::EncodeResult(net::RequestPhoneResult, 0).bytes);
    EXPECT_THAT(rig.logs.messages, ElementsAre("ChangePassword Result :4294967295", "RequestPhone Result :0"));
}

TEST(Dispatcher, LoginOneStoresTheEnteredAccountAsItIsWhenTheAnswerArrives) {
    Rig rig;
    rig.state.FLoginID = "010-0000-0000";
    rig.state.FLoginPassword = "old";
    rig.state.EnteredLoginID = "010-9999-8888"; // edited after the request went out
    rig.state.EnteredLoginPassword = "edited";
    rig.Dispatch(net::EncodeResult(net::LoginResult, 1).bytes);

    EXPECT_TRUE(rig.state.FLoggedIn);
    EXPECT_EQ(rig.state.FLoginID, "010-9999-8888");
    EXPECT_EQ(rig.state.FLoginPassword, "edited");
    EXPECT_EQ(rig.actions.loginState, Cp("핸드폰접속"));
    EXPECT_THAT(rig.actions.calls, ElementsAre("ShowLoginState", "LoginSucceeded"));
}

TEST(Dispatcher, FailedLoginKeepsEarlierLoginAndCredentials) {
    Rig rig;
    rig.state.FLoggedIn = true;
    rig.state.FLoginID = "010-0000-0000";
    rig.state.EnteredLoginID = "other";
    rig.Dispatch(net::EncodeResult(net::LoginResult, 2).bytes);
    EXPECT_TRUE(rig.state.FLoggedIn);
    EXPECT_EQ(rig.state.FLoginID, "010-0000-0000");
    EXPECT_THAT(rig.actions.calls, IsEmpty());
}

// ---- VersionResult 1: restoring the server's view ------------------------

struct RestoreCase {
    const char* name;
    bool autoLogin;
    bool boardSet;
    Lines calls;
};

class VersionRestore : public testing::TestWithParam<RestoreCase> {};

TEST_P(VersionRestore, LogsInThenReselectsTheBoardAsConfigured) {
    const RestoreCase& c = GetParam();
    Rig rig;
    rig.state.FAutoLogin = c.autoLogin;
    rig.state.FBoardSet = c.boardSet;
    rig.Dispatch(net::EncodeResult(net::VersionResult, 1).bytes);
    EXPECT_EQ(rig.actions.calls, c.calls);
    EXPECT_THAT(rig.socket.written, IsEmpty()); // the fake actions send nothing themselves
    EXPECT_THAT(rig.logs.messages, ElementsAre(Cp("정상적으로 시작했습니다.")));
    EXPECT_THAT(rig.logs.debug, ElementsAre("MessageProcess: 100 7", "Version Result :1"));
}

const RestoreCase kRestoreCases[] = {
    {"Neither", false, false, {}},
    {"AutoLoginOnly", true, false, {"LogIn"}},
    {"BoardOnly", false, true, {"SelectBoardAgain"}},
    {"Both", true, true, {"LogIn", "SelectBoardAgain"}},
};
INSTANTIATE_TEST_SUITE_P(Dispatcher, VersionRestore, testing::ValuesIn(kRestoreCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Dispatcher, VersionOneSendsLoginThenSetBoardBeforeAnyAnswer) {
    Rig rig;
    rig.state.FAutoLogin = true;
    rig.state.FBoardSet = true;
    // The board window's handler sends its stored period and address.
    const std::int32_t repeat = 600;
    const std::string boardUrl = "u";
    rig.actions.onLogIn = [&] { (void)rig.sender.Send(net::EncodeLogin("a", "b")); };
    rig.actions.onSelectBoardAgain = [&] { rig.sender.SendSetBoard(repeat, boardUrl); };
    rig.Dispatch(net::EncodeResult(net::VersionResult, 1).bytes);

    ASSERT_EQ(rig.socket.writes.size(), 2u);
    Bytes login(69, 0);
    login[0] = 69;
    login[2] = 'e';
    login[3] = 'a';
    login[36] = 'b';
    EXPECT_EQ(rig.socket.writes[0], login);
    EXPECT_EQ(rig.socket.writes[1], (Bytes{9, 0, 'h', 0x58, 0x02, 0, 0, 'u', 0}));
}

TEST(Dispatcher, VersionFailureNeitherLogsInNorReselects) {
    Rig rig;
    rig.state.FAutoLogin = true;
    rig.state.FBoardSet = true;
    rig.Dispatch(net::EncodeResult(net::VersionResult, 0).bytes);
    EXPECT_THAT(rig.actions.calls, IsEmpty());
}

// ---- SetBoardResult 1 and monitoring -------------------------------------

struct SearchingCase {
    bool searching;
    Bytes written;
};
class SetBoardSearching : public testing::TestWithParam<SearchingCase> {};

TEST_P(SetBoardSearching, SendsSearchStateOneOnlyWhileMonitoring) {
    Rig rig;
    rig.state.FSearching = GetParam().searching;
    rig.Dispatch(net::EncodeResult(net::SetBoardResult, 1).bytes);
    EXPECT_EQ(rig.socket.written, GetParam().written);
    EXPECT_TRUE(rig.state.FBoardSet);
}
INSTANTIATE_TEST_SUITE_P(Dispatcher, SetBoardSearching,
                         testing::Values(SearchingCase{false, {}},
                                         SearchingCase{true, {7, 0, 'm', 1, 0, 0, 0}}));

TEST(Dispatcher, SetBoardFailureKeepsABoardAlreadySet) {
    Rig rig;
    rig.state.FBoardSet = true;
    rig.state.FSearching = true;
    rig.Dispatch(net::EncodeResult(net::SetBoardResult, 0).bytes);
    EXPECT_TRUE(rig.state.FBoardSet);
    EXPECT_THAT(rig.socket.written, IsEmpty());
}

// ---- messages with texts ---------------------------------------------------

TEST(Dispatcher, ListRequestAsksTheBoardWindowForItsList) {
    Rig rig;
    rig.Dispatch({4, 0, 'i', 0});
    EXPECT_THAT(rig.actions.calls, ElementsAre("AnswerListRequest"));
    EXPECT_THAT(rig.logs.debug, ElementsAre("MessageProcess: 105 4"));
    EXPECT_THAT(rig.logs.messages, IsEmpty());
}

TEST(Dispatcher, CheckListHandsOverTheListStampsTheStatusAndRestartsTheCountdown) {
    Rig rig;
    rig.clock.tick = 4000000000u;
    rig.Dispatch({9, 0, 'j', 'a', '\r', '\n', 'b', '\n', 0});
    EXPECT_THAT(rig.actions.checkLists, ElementsAre("a\r\nb\n"));
    EXPECT_EQ(rig.actions.statusPanels[0], "12:34:56" + Cp("검색"));
    EXPECT_EQ(rig.state.CycleStartTime, 4000000000u);
    EXPECT_THAT(rig.logs.debug, ElementsAre("MessageProcess: 106 9"));
    EXPECT_THAT(rig.logs.messages, IsEmpty());
}

TEST(Dispatcher, EmptyCheckListGivesAnEmptyList) {
    Rig rig;
    rig.Dispatch({4, 0, 'j', 0});
    EXPECT_THAT(rig.actions.checkLists, ElementsAre(""));
}

TEST(Dispatcher, NewPostIsListedWithTheTimeAndMatched) {
    Rig rig;
    const std::string line = Cp("팝니다 아이폰") + " 12345 abcdefghijklmnopqrstu"; // 41 bytes
    ASSERT_EQ(line.size(), 41u);
    rig.Dispatch(net::EncodeServerNewPost(line).bytes);
    EXPECT_THAT(rig.logs.debug, ElementsAre("MessageProcess: 107 45"));
    EXPECT_THAT(rig.logs.messages, ElementsAre("12:34:56 " + line));
    EXPECT_THAT(rig.actions.matched, ElementsAre(line));
}

TEST(Dispatcher, RequestSmsIsListedAndRelayedToTheGateway) {
    Rig rig;
    Bytes packet(3 + 33 + 4, 0);
    packet[0] = static_cast<std::uint8_t>(packet.size());
    packet[2] = 'n';
    const std::string phone = "010-1234-5678";
    std::copy(phone.begin(), phone.end(), packet.begin() + 3);
    packet[36] = 'h';
    packet[37] = 'i';
    packet[38] = '!';
    rig.Dispatch(packet);
    EXPECT_THAT(rig.logs.debug, ElementsAre("MessageProcess: 110 40"));
    EXPECT_THAT(rig.logs.messages, ElementsAre("RequestSMS :010-1234-5678 hi!"));
    ASSERT_EQ(rig.actions.sms.size(), 1u);
    EXPECT_EQ(rig.actions.sms[0], std::make_pair(phone, std::string("hi!")));
}

TEST(Dispatcher, SystemNoticeIsListed) {
    Rig rig;
    rig.Dispatch(net::EncodeSystem(Cp("점검 안내")).bytes);
    EXPECT_THAT(rig.logs.messages, ElementsAre("System :" + Cp("점검 안내")));
}

// ---- everything else -------------------------------------------------------

struct UnknownCase {
    Bytes packet;
    const char* debug;
};
class UnknownTypes : public testing::TestWithParam<UnknownCase> {};

TEST_P(UnknownTypes, OnlyTheirDebugLine) {
    Rig rig;
    rig.state.FSearching = true;
    rig.Dispatch(GetParam().packet);
    EXPECT_THAT(rig.logs.debug, ElementsAre(GetParam().debug));
    EXPECT_THAT(rig.logs.messages, IsEmpty());
    EXPECT_THAT(rig.actions.calls, IsEmpty());
    EXPECT_THAT(rig.actions.statusHistory, IsEmpty());
    EXPECT_THAT(rig.socket.written, IsEmpty());
    EXPECT_FALSE(rig.state.FBoardSet);
    EXPECT_FALSE(rig.state.FLoggedIn);
}
INSTANTIATE_TEST_SUITE_P(Dispatcher, UnknownTypes,
                         testing::Values(UnknownCase{{7, 0, 'm', 1, 0, 0, 0}, "MessageProcess: 109 7"},
                                         UnknownCase{{4, 0, 'o', 0}, "MessageProcess: 111 4"},
                                         UnknownCase{{7, 0, 'z', 1, 0, 0, 0}, "MessageProcess: 122 7"},
                                         UnknownCase{{7, 0, 'c', 1, 0, 0, 0}, "MessageProcess: 99 7"},
                                         UnknownCase{{3, 0, 0xFF}, "MessageProcess: 255 3"}));

TEST(Dispatcher, LessThanAHeaderIsRefusedWithoutReading) {
    Rig rig;
    const std::uint8_t two[] = {2, 0};
    rig.dispatcher.DispatchPacket(two, 2);
    rig.dispatcher.DispatchPacket(nullptr, 7);
    rig.dispatcher.DispatchPacket(two, -1);
    EXPECT_THAT(rig.logs.debug, ElementsAre("MessageProcess: packet of 2 bytes ignored",
                                            "MessageProcess: packet of 7 bytes ignored",
                                            "MessageProcess: packet of -1 bytes ignored"));
    EXPECT_THAT(rig.actions.calls, IsEmpty());
}

} // namespace
