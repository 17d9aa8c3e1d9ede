#include "WatchListEditor.h"

#include "SearchCondition.h"
#include "WatchList.h"
#include "base/Cp949.h"

namespace quorlan::board {

WatchListEditor::WatchListEditor(client::ClientState& state, base::IMessageBox& messageBox)
    : state_(state), messageBox_(messageBox) {}

bool WatchListEditor::Accepts(const std::string& condition) {
    const std::vector<std::string> refusals = ConditionRefusals(condition);
    for (const std::string& refusal : refusals) messageBox_.ShowMessage(refusal);
    return refusals.empty();
}

bool WatchListEditor::Add(const std::string& condition, const std::string& excludeText) {
    if (state_.FWatchList.size() >= kMaxWatchEntries) {
        messageBox_.ShowMessage(QUORLAN_CP949("검색단어 목록은 1000개까지입니다."));
        return false;
    }
    if (!Accepts(condition)) return false;
    state_.FWatchList.push_back({condition, SplitExcludeWords(excludeText), false});
    return true;
}

bool WatchListEditor::Edit(std::size_t index, const std::string& condition, const std::string& excludeText) {
    if (index >= state_.FWatchList.size() || !Accepts(condition)) return false;
    client::WatchEntry& entry = state_.FWatchList[index];
    entry.condition = condition;
    entry.exclude = SplitExcludeWords(excludeText);
    return true;
}

void WatchListEditor::Remove(std::size_t index) {
    if (index < state_.FWatchList.size()) state_.FWatchList.erase(state_.FWatchList.begin() + index);
}

void WatchListEditor::SetOff(std::size_t index, bool off) {
    if (index < state_.FWatchList.size()) state_.FWatchList[index].off = off;
}

void WatchListEditor::SetMainExclude(const std::string& excludeText) {
    state_.FExclude = SplitExcludeWords(excludeText);
}

} // namespace quorlan::board
