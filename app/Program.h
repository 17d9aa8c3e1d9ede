#pragma once
#include "app/ClientActions.h"
#include "base/IAlertSound.h"
#include "base/IClock.h"
#include "base/IInputBox.h"
#include "base/ILineLogs.h"
#include "base/IMessageBox.h"
#include "base/IRandomSource.h"
#include "base/IWakeSignal.h"
#include "board/SearchConditionHandler.h"
#include "net/ISocket.h"
#include "net/ServerKeyPins.h"
#include "shell/ClientSession.h"
#include "shell/FindRecorder.h"
#include "shell/SearchSwitch.h"
#include "shell/http/THTTPDown.h"
#include "shell/ui/TFrmMain.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorlan::account {
class TFrmLoginOKBottomDlg;
}
namespace quorlan::board {
class TFrmBrowser;
}
namespace quorlan::net {
class QtMainSock;
}
namespace quorlan::qt {
class QtTimer;
}
namespace quorlan::shell::ui {
class TFrmDebug;
class TFrmHistory;
class TFrmWatchList;
}

namespace quorlan::app {

class TAboutBox;
class TFrmMyinfo;

// Where the connection goes, and whether the start-up update check installed
// a new program (which then runs instead of this one).
struct StartupNetwork {
    std::string serverAddress;
    std::uint16_t serverPort = 0;
    bool updateInstalled = false;
};

// The client: the session first, then the six windows in their order
// (FrmMain, FrmBrowser, FrmMyinfo, AboutBox, FrmLoginOKBottomDlg, FrmDebug)
// and the history and watch-list windows,
// each given what it needs of the session. The constructor is the start-up
// (update check, first connection attempt, session reset, settings), the
// destructor the shutdown (the windows go in the reverse order, then the
// settings are saved, the login dialog's auto-login box among them).
class Program {
public:
    // Platform services; each empty member gets the real one.
    struct Options {
        std::string settingsPath = "Quorlan.ini";
        // The start-up update check. The real one fetches the patch list with
        // the program's downloader.
        std::function<StartupNetwork(base::ILineLogs& logs)> updateCheck;
        // Socket for the link to the server. The real one is a QtMainSock,
        // whose events are forwarded to the session here.
        std::unique_ptr<net::ISocket> socket;
        // The real socket's protection; empty means the build's (TLS and pins
        // as configured). Tests that run a server in clear say so here.
        std::optional<net::LinkSecurity> linkSecurity;
        // With an injected socket: where the server's address and port go.
        std::function<void(const std::string& address, std::uint16_t port)> applyServerAddress;
        base::IClock* clock = nullptr;
        base::IRandomSource* random = nullptr;
        // Resume and network-back; the real one follows Qt's network information.
        base::IWakeSignal* wakeSignal = nullptr;
        base::IMessageBox* messageBox = nullptr;
        base::IInputBox* inputBox = nullptr;
        // The alert sound; the real one plays the program's alert.wav.
        base::IAlertSound* alertSound = nullptr;
        shell::ui::TFrmMain::Options mainWindow;
    };

    Program();
    explicit Program(Options options);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    shell::ClientSession& Session() { return session_; }
    const net::ISocket& Socket() const { return *socket_; }
    shell::ui::TFrmMain& FrmMain() { return *frmMain_; }
    board::TFrmBrowser& FrmBrowser() { return *frmBrowser_; }
    TFrmMyinfo& FrmMyinfo() { return *frmMyinfo_; }
    TAboutBox& AboutBox() { return *aboutBox_; }
    account::TFrmLoginOKBottomDlg& FrmLoginOKBottomDlg() { return *frmLoginOKBottomDlg_; }
    shell::ui::TFrmDebug& FrmDebug() { return *frmDebug_; }
    shell::ui::TFrmHistory& FrmHistory() { return *frmHistory_; }
    shell::ui::TFrmWatchList& FrmWatchList() { return *frmWatchList_; }

private:
    // The platform services the options leave out, made here.
    struct OwnServices;

    void ConnectMainSock();
    StartupNetwork RunUpdateCheck();
    void ApplyServerAddress(const std::string& address, std::uint16_t port);

    Options options_;
    std::unique_ptr<OwnServices> own_;
    base::IClock& clock_;
    base::IRandomSource& random_;
    base::IWakeSignal& wakeSignal_;
    base::IMessageBox& messageBox_;
    base::IInputBox& inputBox_;
    shell::THTTPDown downloader_;
    net::QtMainSock* mainSock_ = nullptr; // the socket, when made here
    std::unique_ptr<net::ISocket> socket_;
    ClientActions actions_;
    std::unique_ptr<qt::QtTimer> timerProcess_; // the session's framing timer
    shell::ClientSession session_;
    shell::SearchSwitch searchSwitch_;
    board::SearchConditionHandler searchCondition_;
    std::unique_ptr<base::IAlertSound> ownSound_;
    shell::FindRecorder findRecorder_;

    std::unique_ptr<shell::ui::TFrmMain> frmMain_;
    std::unique_ptr<board::TFrmBrowser> frmBrowser_;
    std::unique_ptr<TFrmMyinfo> frmMyinfo_;
    std::unique_ptr<TAboutBox> aboutBox_;
    std::unique_ptr<account::TFrmLoginOKBottomDlg> frmLoginOKBottomDlg_;
    std::unique_ptr<shell::ui::TFrmDebug> frmDebug_;
    std::unique_ptr<shell::ui::TFrmHistory> frmHistory_;
    std::unique_ptr<shell::ui::TFrmWatchList> frmWatchList_;
};

} // namespace quorlan::app
