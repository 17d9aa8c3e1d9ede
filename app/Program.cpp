#include "app/Program.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "app/TAboutBox.h"
#include "app/TFrmMyinfo.h"
#include "board/ui/TFrmBrowser.h"
#include "shell/ui/TFrmDebug.h"

namespace quorlan::app {

Program::Program(shell::ui::TFrmMain::Options mainOptions) {
    using shell::ui::TFrmMain;
    frmMain_ = std::make_unique<TFrmMain>(actions_, std::move(mainOptions));
    actions_.SetMainWindow(frmMain_.get());
    TFrmMain& main = *frmMain_;

    frmBrowser_ = std::make_unique<board::TFrmBrowser>(
        board::TFrmBrowser::Services{main.State(), main.Sender(), main.Logs(), main.MessageBox()});
    frmBrowser_->SetBoardUrlChanged([&main](const std::string& url) { main.SetLabelBoardURL(url); });
    actions_.SetBoardWindow(frmBrowser_.get());

    frmMyinfo_ = std::make_unique<TFrmMyinfo>();
    aboutBox_ = std::make_unique<TAboutBox>();

    frmLoginOKBottomDlg_ = std::make_unique<account::TFrmLoginOKBottomDlg>(
        account::TFrmLoginOKBottomDlg::Services{main.State(), main.Sender(), main.MessageBox()});
    actions_.SetLoginDialog(frmLoginOKBottomDlg_.get());

    frmDebug_ = std::make_unique<shell::ui::TFrmDebug>(main.Logs().debugLog, main, main.State().FDebugMode);

    main.SetPeers({
        .showBoardModal = [this] { frmBrowser_->ShowModal(); },
        .showBoardModeless = [this] { frmBrowser_->ShowModeless(); },
        .showLoginPage = [this](int page) { frmLoginOKBottomDlg_->ShowPage(page); },
        .showAbout = [this] { aboutBox_->ShowModal(); },
        .hideDebugWindow = [this] { frmDebug_->hide(); },
    });
}

Program::~Program() {
    frmMain_->SetPeers({});
    frmDebug_.reset();
    actions_.SetLoginDialog(nullptr);
    frmLoginOKBottomDlg_.reset(); // hands its auto-login box back to FAutoLogin
    aboutBox_.reset();
    frmMyinfo_.reset();
    actions_.SetBoardWindow(nullptr);
    frmBrowser_.reset();
    actions_.SetMainWindow(nullptr);
    frmMain_.reset(); // saves the settings
}

} // namespace quorlan::app
