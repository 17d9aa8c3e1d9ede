#include "shell/SearchSwitch.h"

#include "base/Cp949.h"

namespace quorlan::shell {

SearchSwitch::SearchSwitch(client::ClientState& state, net::Sender& sender, base::ILineLogs& logs, const base::IClock& clock)
    : state_(state), sender_(sender), logs_(logs), clock_(clock) {}

const std::string& SearchSwitch::StartCaption() {
    return QUORLAN_CP949("시작");
}

const std::string& SearchSwitch::StopCaption() {
    return QUORLAN_CP949("검색중지");
}

void SearchSwitch::BtnStartClick() {
    if (!view_) return;
    // Monitoring needs a board the server has accepted; until then Start only
    // leads the user to the board window.
    if (!state_.FBoardSet || state_.FBoardURL.empty()) {
        view_->OpenBoardModal();
        return;
    }
    if (state_.FSearching) {
        Stop();
    } else {
        Start();
    }
}

void SearchSwitch::Start() {
    logs_.AddListMessage(QUORLAN_CP949("검색을 시작했습니다."));
    state_.CycleStartTime = clock_.TickMs();
    state_.FSearching = true;
    (void)sender_.SendSearchState(1); // a failed send is logged by the sender only
    view_->SetStartCaption(StopCaption());
    view_->SetSettingControlsEnabled(false);
}

void SearchSwitch::Stop() {
    logs_.AddListMessage(QUORLAN_CP949("검색을 중지했습니다."));
    state_.FSearching = false;
    (void)sender_.SendSearchState(0);
    view_->SetStartCaption(StartCaption());
    // Cut off from the server, the panel keeps saying so.
    if (!state_.FServerCutOff) view_->SetStatusPanel(1, QUORLAN_CP949("대기"));
    view_->SetSettingControlsEnabled(true);
}

} // namespace quorlan::shell
