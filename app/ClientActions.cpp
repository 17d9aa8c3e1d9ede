#include "app/ClientActions.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "board/ui/TFrmBrowser.h"
#include "shell/ui/TFrmMain.h"

namespace quorlan::app {

bool ClientActions::AutoLoginChecked() {
    return login_ && login_->AutoLoginChecked();
}

void ClientActions::BtnLoginClick() {
    if (login_) login_->BtnLoginClick();
}

std::string ClientActions::LoginIDText() {
    return login_ ? login_->LoginIDText() : std::string();
}

std::string ClientActions::LoginPasswordText() {
    return login_ ? login_->LoginPasswordText() : std::string();
}

void ClientActions::LoginSucceeded() {
    if (login_) login_->LoginSucceeded();
}

void ClientActions::SetLoginDialogStatus(const std::string& text) {
    if (login_) login_->SetStatusText(text);
}

void ClientActions::SetLoginStateLabel(const std::string& text) {
    if (main_) main_->SetLabelLoginState(text);
}

void ClientActions::SetStatusPanel(int index, const std::string& text) {
    if (main_) main_->SetStatusPanel(index, text);
}

void ClientActions::SetTrayStatus(const std::string& text) {
    if (main_) main_->SetTrayStatus(text);
}

void ClientActions::BtnSeleteBoardClick() {
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
