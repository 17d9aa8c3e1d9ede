#include "SearchConditionHandler.h"

#include "SearchCondition.h"
#include "base/Cp949.h"

#include <algorithm>

namespace quorlan::board {

SearchConditionHandler::SearchConditionHandler(client::ClientState& state, net::Sender& sender,
                                               base::IInputBox& inputBox, base::IMessageBox& messageBox)
    : state_(state), sender_(sender), inputBox_(inputBox), messageBox_(messageBox) {}

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
    const auto operators = std::count_if(entered.begin(), entered.end(), [](char c) { return c == '&' || c == '+'; });
    // A single Hangul syllable is 2 bytes: refused; 3 bytes pass.
    if (entered.size() <= 2) {
        messageBox_.ShowMessage(QUORLAN_CP949("한글자이상 검색가능합니다."));
        SetCondition(remembered);
    }
    if (operators >= 2) {
        messageBox_.ShowMessage(QUORLAN_CP949("검색조합은 1개만 사용가능합니다."));
        SetCondition(remembered);
    }
}

void SearchConditionHandler::MatchSearchCondition(const std::string& line) {
    if (!hitActions_ || !ConditionHits(state_.FSearchCondition, line)) return;
    hitActions_->ShowAlert(line);
    if (state_.FLoggedIn && hitActions_->CheckBoxSMSChecked()) sender_.SendRequestPhone(line);
}

} // namespace quorlan::board
