#include "app/ClientActions.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "board/ui/TFrmBrowser.h"
#include "shell/ui/TFrmMain.h"

namespace quorlan::app {

namespace {
// StatusBar1 of the main window: the last check on the first panel, the
// connection on the second.
constexpr int kCheckPanel = 0;
constexpr int kConnectionPanel = 1;
} // namespace

void ClientActions::LogIn() {
    if (login_) login_->BtnLoginClick();
}

void ClientActions::LoginSucceeded() {
    if (login_) login_->LoginSucceeded();
}

void ClientActions::ShowSignUpResult(const std::string& text) {
    if (login_) login_->SetStatusText(text);
}

void ClientActions::ShowLoginState(const std::string& text) {
    if (main_) main_->SetLabelLoginState(text);
}

void ClientActions::ShowCheckState(const std::string& text) {
    if (main_) main_->SetStatusPanel(kCheckPanel, text);
}

void ClientActions::ShowConnectionState(const std::string& text) {
    if (main_) main_->SetStatusPanel(kConnectionPanel, text);
}

void ClientActions::ShowTrayStatus(const std::string& text) {
    if (main_) main_->SetTrayStatus(text);
}

void ClientActions::SelectBoardAgain() {
    if (browser_) browser_->BtnSeleteBoardClick();
}

void ClientActions::AnswerListRequest() {
    if (browser_) browser_->AnswerListRequest();
}

void ClientActions::ReceiveCheckList(const std::string& postListText) {
    if (browser_) browser_->ReceiveCheckList(postListText);
}

void ClientActions::SendSMSByGateway(const std::string& phone, const std::string& message) {
    if (browser_) browser_->SendSMSByGateway(phone, message);
}

void ClientActions::MatchSearchCondition(const std::string& line) {
    if (main_) main_->MatchSearchCondition(line);
}

} // namespace quorlan::app
