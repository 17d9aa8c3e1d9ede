#pragma once
#include "net/IClientActions.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorlan::test {

// Records what the dispatcher and the connection ask of the other parts of the
// client. `calls` keeps the names of the actions in order; the hooks let a test
// make LogIn / SelectBoardAgain send their packets. The check and connection
// states are recorded as the main window shows them, on status panels 0 and 1.
class RecordingActions : public net::IClientActions {
public:
    void LogIn() override {
        calls.push_back("LogIn");
        if (onLogIn) onLogIn();
    }
    void LoginSucceeded() override { calls.push_back("LoginSucceeded"); }
    void ShowSignUpResult(const std::string& text) override {
        calls.push_back("ShowSignUpResult");
        signUpResult = text;
    }
    void ShowLoginState(const std::string& text) override {
        calls.push_back("ShowLoginState");
        loginState = text;
    }
    void ShowCheckState(const std::string& text) override { SetStatusPanel(0, text); }
    void ShowConnectionState(const std::string& text) override { SetStatusPanel(1, text); }
    void ShowTrayStatus(const std::string& text) override { trayStatus.push_back(text); }
    void SelectBoardAgain() override {
        calls.push_back("SelectBoardAgain");
        if (onSelectBoardAgain) onSelectBoardAgain();
    }
    void AnswerListRequest() override { calls.push_back("AnswerListRequest"); }
    void ReceiveCheckList(const std::string& postListText) override {
        calls.push_back("ReceiveCheckList");
        checkLists.push_back(postListText);
    }
    void SendSMSByGateway(const std::string& phone, const std::string& message) override {
        calls.push_back("SendSMSByGateway");
        sms.emplace_back(phone, message);
    }
    void MatchSearchCondition(const std::string& line) override {
        calls.push_back("MatchSearchCondition");
        matched.push_back(line);
    }

    // Hooks.
    std::function<void()> onLogIn;
    std::function<void()> onSelectBoardAgain;

    // Records.
    std::vector<std::string> calls;
    std::string statusPanels[2] = {"", ""};
    std::vector<std::pair<int, std::string>> statusHistory;
    std::vector<std::string> trayStatus;
    std::string loginState;
    std::string signUpResult;
    std::vector<std::string> checkLists;
    std::vector<std::string> matched;
    std::vector<std::pair<std::string, std::string>> sms;

private:
    void SetStatusPanel(int index, const std::string& text) {
        statusHistory.emplace_back(index, text);
        statusPanels[index] = text;
    }
};

} // namespace quorlan::test
