#include "SearchConditionHandler.h"

#include "SearchCondition.h"
#include "WatchList.h"
#include "base/Cp949.h"

namespace quorlan::board {

SearchConditionHandler::SearchConditionHandler(client::ClientState& state, net::Sender& sender, base::ILineLogs& logs,
                                               base::IInputBox& inputBox, base::IMessageBox& messageBox)
    : state_(state), sender_(sender), logs_(logs), inputBox_(inputBox), messageBox_(messageBox) {}

void SearchConditionHandler::SetCondition(const std::string& condition) {
    state_.FSearchCondition = condition;
    if (onLabel_) onLabel_(condition);
}

void SearchConditionHandler::BtnSearchConditionClick() {
    const std::string remembered = state_.FSearchCondition;
    // The doubled "&&" is how the prompt writes one "&"; it ends with two spaces.
    const std::string entered =
        inputBox_.InputBox(QUORLAN_CP949("검색 단어 설정"), QUORLAN_CP949("검색단어를 입력하세요. &&, + 사용가능)  "),
                           QUORLAN_CP949("직거래"));
    SetCondition(entered);
    for (const std::string& refusal : ConditionRefusals(entered)) {
        messageBox_.ShowMessage(refusal);
        SetCondition(remembered);
    }
}

void SearchConditionHandler::MatchSearchCondition(const std::string& line) {
    if (!hitActions_) return;
    const std::optional<std::string> condition = FirstHitCondition(state_, line);
    if (!condition) return;
    // The post line is already in the message list; this says what it matched.
    logs_.AddListMessage(HitListLine(*condition));
    hitActions_->ShowAlert(line, *condition);
    if (state_.FLoggedIn && hitActions_->CheckBoxSMSChecked()) sender_.SendRequestPhone(line);
}

} // namespace quorlan::board
