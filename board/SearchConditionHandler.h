#pragma once
#include "base/IInputBox.h"
#include "ISearchHitActions.h"
#include "base/ILineLogs.h"
#include "base/IMessageBox.h"
#include "client/ClientState.h"
#include "net/Sender.h"

#include <functional>
#include <string>

namespace quorlan::board {

// The main window's search condition: the "단어설정" dialog and the matcher
// run on every post line the server forwards. The condition is
// ClientState::FSearchCondition; LabelSearchCondition shows it unchanged and
// follows every change through the label hook. The matcher also looks through
// the watch list (FirstHitCondition). A hit shows on the main window: until its
// hit actions are set, a matching line does nothing.
class SearchConditionHandler {
public:
    using LabelHook = std::function<void(const std::string& condition)>;

    SearchConditionHandler(client::ClientState& state, net::Sender& sender, base::ILineLogs& logs,
                           base::IInputBox& inputBox, base::IMessageBox& messageBox);

    void SetLabelHook(LabelHook onLabel) { onLabel_ = std::move(onLabel); }
    void SetHitActions(ISearchHitActions* hitActions) { hitActions_ = hitActions; }

    // Sets the field and the label together.
    void SetCondition(const std::string& condition);

    // BtnSearchCondition: asks for the words (starting from "직거래", which is
    // also what a cancel returns) and stores them at once; refuses 2 bytes or
    // fewer, and then, independently, two or more "&"/"+" in all, each with
    // its message box, putting the previous condition back.
    void BtnSearchConditionClick();

    // On a hit, once however many conditions the line matches: a message-list
    // line naming the condition that matched (the first), ShowAlert, then
    // RequestPhone when logged in with CheckBoxSMS ticked (the sender refuses
    // a line of 256 bytes or more).
    void MatchSearchCondition(const std::string& line);

private:
    client::ClientState& state_;
    net::Sender& sender_;
    base::ILineLogs& logs_;
    base::IInputBox& inputBox_;
    base::IMessageBox& messageBox_;
    LabelHook onLabel_;
    ISearchHitActions* hitActions_ = nullptr;
};

} // namespace quorlan::board
