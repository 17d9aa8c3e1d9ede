#pragma once
#include "base/IClock.h"
#include "base/ILineLogs.h"
#include "client/ClientState.h"
#include "net/Sender.h"

#include <string>

namespace quorlan::shell {

// What the Start/Stop switch changes on the main window.
class ISearchSwitchView {
public:
    virtual ~ISearchSwitchView() = default;
    // Start pressed before the server accepted a board: the board window opens
    // modally instead.
    virtual void OpenBoardModal() = 0;
    virtual void SetStartCaption(const std::string& caption) = 0;
    // BtnSetLogin, BtnSetBoard, BtnSearchCondition and the account menu.
    virtual void SetSettingControlsEnabled(bool enabled) = 0;
    virtual void SetStatusPanel(int index, const std::string& text) = 0;
};

// The Start button (BtnStartClick). FSearching and the caption of BtnStart
// always change together, so FSearching is the state read here. The local
// state changes whether or not SearchState could be sent. The main window
// shows it: until a window is set the button does nothing.
class SearchSwitch {
public:
    SearchSwitch(client::ClientState& state, net::Sender& sender, base::ILineLogs& logs, const base::IClock& clock);

    void SetView(ISearchSwitchView* view) { view_ = view; }

    void BtnStartClick();

    static const std::string& StartCaption(); // "시작": stopped
    static const std::string& StopCaption();  // "검색중지": started

private:
    void Start();
    void Stop();

    client::ClientState& state_;
    net::Sender& sender_;
    base::ILineLogs& logs_;
    const base::IClock& clock_;
    ISearchSwitchView* view_ = nullptr;
};

} // namespace quorlan::shell
