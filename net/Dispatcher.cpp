#include "Dispatcher.h"

#include "Codec.h"
#include "base/Cp949.h"

#include <string>

namespace quorlan::net {

namespace {
// The label and the unsigned code with no blank between them ("Login Result :1").
std::string ResultLine(const char* label, std::uint32_t code) { return label + std::to_string(code); }
} // namespace

Dispatcher::Dispatcher(base::ILineLogs& logs, LinkState& state, Sender& sender, IClientActions& actions, base::IClock& clock)
    : logs_(logs), state_(state), sender_(sender), actions_(actions), clock_(clock) {}

void Dispatcher::DispatchPacket(const std::uint8_t* packet, int length) {
    if (packet == nullptr || length < static_cast<int>(kHeaderSize)) {
        // The framing never hands over less than a header; refuse rather than
        // read bytes that are not there.
        logs_.DebugLog("MessageProcess: packet of " + std::to_string(length) + " bytes ignored");
        return;
    }
    const ServerMessage m = DecodeServerMessage(packet, static_cast<std::size_t>(length));
    logs_.DebugLog("MessageProcess: " + std::to_string(m.type) + " " + std::to_string(m.length));

    // 'm', 'o' and every other letter carry nothing the client reads.
    if (!LayoutOfServerMessage(m.type).known) return;
    const std::uint32_t code = m.code.value_or(0);
    const bool success = m.code == kResultSuccess;
    switch (static_cast<ServerMsg>(m.type)) {
    case VersionResult:
        if (success) {
            logs_.AddListMessage(QUORLAN_CP949("정상적으로 시작했습니다."));
            // Restores the server's view after a reconnect: login, then board.
            if (state_.FAutoLogin) actions_.LogIn();
            if (state_.FBoardSet) actions_.SelectBoardAgain();
        } else {
            logs_.AddListMessage(QUORLAN_CP949("버전이 틀립니다."));
        }
        logs_.DebugLog(ResultLine("Version Result :", code));
        break;
    case LoginResult:
        logs_.DebugLog(ResultLine("Login Result :", code));
        if (success) {
            actions_.ShowLoginState(QUORLAN_CP949("핸드폰접속"));
            state_.FLoggedIn = true;
            // The account as the login dialog holds it now, edits made while
            // waiting included.
            state_.FLoginID = state_.EnteredLoginID;
            state_.FLoginPassword = state_.EnteredLoginPassword;
            actions_.LoginSucceeded();
        } else {
            logs_.AddListMessage(QUORLAN_CP949("로그인 실패"));
        }
        break;
    case NewAccountResult:
        logs_.AddListMessage(ResultLine("NewAccount Result :", code));
        actions_.ShowSignUpResult(success ? QUORLAN_CP949("신규가입했습니다.")
                                              : QUORLAN_CP949("신규가입을 실패했습니다."));
        break;
    case ChangePasswordResult:
        logs_.AddListMessage(ResultLine("ChangePassword Result :", code));
        break;
    case SetBoardResult:
        if (success) {
            state_.FBoardSet = true;
            if (state_.FSearching) sender_.SendSearchState(1);
            logs_.AddListMessage(QUORLAN_CP949("게시판을 설정했습니다."));
        }
        logs_.DebugLog(ResultLine("SetBoard Result :", code));
        break;
    case ListRequest:
        actions_.AnswerListRequest();
        break;
    case CheckList:
        actions_.ReceiveCheckList(m.text);
        actions_.ShowCheckState(clock_.LongTimeNow() + QUORLAN_CP949("검색"));
        state_.CycleStartTime = clock_.TickMs();
        break;
    case ServerNewPost:
        logs_.AddListMessage(clock_.LongTimeNow() + " " + m.text);
        actions_.MatchSearchCondition(m.text);
        break;
    case RequestPhoneResult:
        logs_.AddListMessage(ResultLine("RequestPhone Result :", code));
        break;
    case RequestSMS:
        logs_.AddListMessage("RequestSMS :" + m.phone + " " + m.text);
        actions_.SendSMSByGateway(m.phone, m.text);
        break;
    case System:
        logs_.AddListMessage("System :" + m.text);
        break;
    }
}

} // namespace quorlan::net
