#pragma once
#include "net/IClientActions.h"

namespace quorlan::shell::ui {
class TFrmMain;
}
namespace quorlan::board {
class TFrmBrowser;
}
namespace quorlan::account {
class TFrmLoginOKBottomDlg;
}

namespace quorlan::app {

// What the dispatcher asks of the windows, forwarded to the window that does
// it, through the window's own handler. The main window is created first and
// its timers may tick before the other windows exist (and after they are gone
// at shutdown): an action whose window is absent does nothing.
class ClientActions : public net::IClientActions {
public:
    void SetMainWindow(shell::ui::TFrmMain* window) { main_ = window; }
    void SetBoardWindow(board::TFrmBrowser* window) { browser_ = window; }
    void SetLoginDialog(account::TFrmLoginOKBottomDlg* dialog) { login_ = dialog; }

    void LogIn() override;
    void LoginSucceeded() override;
    void ShowSignUpResult(const std::string& text) override;

    void ShowLoginState(const std::string& text) override;
    void ShowCheckState(const std::string& text) override;
    void ShowConnectionState(const std::string& text) override;
    void ShowTrayStatus(const std::string& text) override;

    void SelectBoardAgain() override;
    void AnswerListRequest() override;
    void ReceiveCheckList(const std::string& postListText) override;
    void SendSMSByGateway(const std::string& phone, const std::string& message) override;

    void MatchSearchCondition(const std::string& line) override;

private:
    shell::ui::TFrmMain* main_ = nullptr;
    board::TFrmBrowser* browser_ = nullptr;
    account::TFrmLoginOKBottomDlg* login_ = nullptr;
};

} // namespace quorlan::app
