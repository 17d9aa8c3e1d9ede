#pragma once
#include "app/ClientActions.h"
#include "shell/ui/TFrmMain.h"

#include <memory>

namespace quorlan::account {
class TFrmLoginOKBottomDlg;
}
namespace quorlan::board {
class TFrmBrowser;
}
namespace quorlan::shell::ui {
class TFrmDebug;
}

namespace quorlan::app {

class TAboutBox;
class TFrmMyinfo;

// The client's six windows, created once in their order (FrmMain, FrmBrowser,
// FrmMyinfo, AboutBox, FrmLoginOKBottomDlg, FrmDebug) and destroyed in the
// reverse order, so that the main window saves the settings last, after the
// login dialog has handed back its auto-login box.
class Program {
public:
    // The main window's platform services; the defaults are the real ones.
    explicit Program(shell::ui::TFrmMain::Options mainOptions = {});
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    shell::ui::TFrmMain& FrmMain() { return *frmMain_; }
    board::TFrmBrowser& FrmBrowser() { return *frmBrowser_; }
    TFrmMyinfo& FrmMyinfo() { return *frmMyinfo_; }
    TAboutBox& AboutBox() { return *aboutBox_; }
    account::TFrmLoginOKBottomDlg& FrmLoginOKBottomDlg() { return *frmLoginOKBottomDlg_; }
    shell::ui::TFrmDebug& FrmDebug() { return *frmDebug_; }

private:
    ClientActions actions_;
    std::unique_ptr<shell::ui::TFrmMain> frmMain_;
    std::unique_ptr<board::TFrmBrowser> frmBrowser_;
    std::unique_ptr<TFrmMyinfo> frmMyinfo_;
    std::unique_ptr<TAboutBox> aboutBox_;
    std::unique_ptr<account::TFrmLoginOKBottomDlg> frmLoginOKBottomDlg_;
    std::unique_ptr<shell::ui::TFrmDebug> frmDebug_;
};

} // namespace quorlan::app
