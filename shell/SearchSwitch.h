#pragma once
#include "net/ClientState.h"
#include "net/IClock.h"
#include "net/ILineLogs.h"
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
// state changes whether or not SearchState could be sent.
class SearchSwitch {
public:
    SearchSwitch(net::ClientState& state, net::Sender& sender, net::ILineLogs& logs, const net::IClock& clock,
                 ISearchSwitchView& view);

    void BtnStartClick();

    static const std::string& StartCaption(); // "시작": stopped
    static const std::string& StopCaption();  // "검색중지": started

private:
    void Start();
    void Stop();

    net::ClientState& state_;
    net::Sender& sender_;
    net::ILineLogs& logs_;
    const net::IClock& clock_;
    ISearchSwitchView& view_;
};

} // namespace quorlan::shell
