#pragma once
#include <string>

namespace quorlan::net {

// What the dispatcher of server messages and the connection ask of the rest of
// the client, named by what they do; the windows' side implements it with the
// windows' own handlers, tests with a recorder. What the link needs to know
// (the account typed in, whether to log in again) it reads from its state, not
// from a window. Texts are cp949 bytes.
class IClientActions {
public:
    virtual ~IClientActions() = default;

    // Account.
    // Sends Login with the account as the login dialog holds it.
    virtual void LogIn() = 0;
    virtual void LoginSucceeded() = 0;
    virtual void ShowSignUpResult(const std::string& text) = 0;

    // What the main window shows of the link.
    virtual void ShowLoginState(const std::string& text) = 0;
    // The time the last checking turn came.
    virtual void ShowCheckState(const std::string& text) = 0;
    virtual void ShowConnectionState(const std::string& text) = 0;
    // What the tray icon's tip says besides the program's name: the link's
    // trouble, empty while there is none.
    virtual void ShowTrayStatus(const std::string& text) = 0;

    // Board.
    // Sends SetBoard again with the board window's period and address.
    virtual void SelectBoardAgain() = 0;
    // ListRequest: extract the page shown into FPageList and answer ListReply.
    virtual void AnswerListRequest() = 0;
    // CheckList: the text becomes FServerList, then ApplyServerList.
    virtual void ReceiveCheckList(const std::string& postListText) = 0;
    virtual void SendSMSByGateway(const std::string& phone, const std::string& message) = 0;

    // Search condition.
    virtual void MatchSearchCondition(const std::string& line) = 0;
};

} // namespace quorlan::net
