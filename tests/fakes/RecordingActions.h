#pragma once
#include "net/IClientActions.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorlan::test {

// Records what the dispatcher and the connection ask of the other parts of the
// client. `calls` keeps the names of the actions in order; the hooks let a test
// make BtnLoginClick / BtnSeleteBoardClick send their packets.
class RecordingActions : public net::IClientActions {
public:
    bool AutoLoginChecked() override { return autoLoginChecked; }
    void BtnLoginClick() override {
        calls.push_back("BtnLoginClick");
        if (onBtnLoginClick) onBtnLoginClick();
    }
    std::string LoginIDText() override { return loginIDText; }
    std::string LoginPasswordText() override { return loginPasswordText; }
    void LoginSucceeded() override { calls.push_back("LoginSucceeded"); }
    void SetLoginDialogStatus(const std::string& text) override {
        calls.push_back("SetLoginDialogStatus");
        loginDialogStatus = text;
    }
    void SetLoginStateLabel(const std::string& text) override {
        calls.push_back("SetLoginStateLabel");
        loginStateLabel = text;
    }
    void SetStatusPanel(int index, const std::string& text) override {
        statusHistory.emplace_back(index, text);
        if (index >= 0 && index < 2) statusPanels[index] = text;
    }
    void SetTrayStatus(const std::string& text) override { trayStatus.push_back(text); }
    void BtnSeleteBoardClick() override {
        calls.push_back("BtnSeleteBoardClick");
        if (onBtnSeleteBoardClick) onBtnSeleteBoardClick();
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

    // Answers.
    bool autoLoginChecked = false;
    std::string loginIDText;
    std::string loginPasswordText;
    std::function<void()> onBtnLoginClick;
    std::function<void()> onBtnSeleteBoardClick;

    // Records.
    std::vector<std::string> calls;
    std::string statusPanels[2] = {"", ""};
    std::vector<std::pair<int, std::string>> statusHistory;
    std::vector<std::string> trayStatus;
    std::string loginStateLabel;
    std::string loginDialogStatus;
    std::vector<std::string> checkLists;
    std::vector<std::string> matched;
    std::vector<std::pair<std::string, std::string>> sms;
};

} // namespace quorlan::test
