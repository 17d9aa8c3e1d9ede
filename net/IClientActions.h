#pragma once
#include <string>

namespace quorlan::net {

// What the dispatcher of server messages calls in the other parts of the
// client (login dialog, board window, search condition, main window). The
// windows' side implements it; tests implement it with a recorder. Texts are
// cp949 bytes.
class IClientActions {
public:
    virtual ~IClientActions() = default;

    // Login dialog.
    virtual bool AutoLoginChecked() = 0;          // CheckBoxAutoLogin
    virtual void BtnLoginClick() = 0;             // sends Login from the dialog's boxes
    virtual std::string LoginIDText() = 0;        // EditLoginID, read when the answer arrives
    virtual std::string LoginPasswordText() = 0;  // EditLoginPassword
    virtual void LoginSucceeded() = 0;
    virtual void SetLoginDialogStatus(const std::string& text) = 0;

    // Main window.
    virtual void SetLoginStateLabel(const std::string& text) = 0; // LabelLoginState
    virtual void SetStatusPanel(int index, const std::string& text) = 0; // StatusBar1 panels 0 and 1
    // What the tray icon's tip says besides the program's name: the link's
    // trouble, empty while there is none.
    virtual void SetTrayStatus(const std::string& text) = 0;

    // Board window.
    virtual void BtnSeleteBoardClick() = 0;
    // ListRequest: extract the page shown into FPageList and answer ListReply.
    virtual void AnswerListRequest() = 0;
    // CheckList: the text becomes FServerList, then ApplyServerList.
    virtual void ReceiveCheckList(const std::string& postListText) = 0;
    virtual void SendSMSByGateway(const std::string& phone, const std::string& message) = 0;

    // Search condition.
    virtual void MatchSearchCondition(const std::string& line) = 0;
};

} // namespace quorlan::net
