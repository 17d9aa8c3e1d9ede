#include "app/Program.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "app/TAboutBox.h"
#include "app/TFrmMyinfo.h"
#include "board/ui/TFrmBrowser.h"
#include "net/qt/QtMainSock.h"
#include "shell/ClockSeededRandom.h"
#include "shell/http/UpdateCheck.h"
#include "qt/QtAlertSound.h"
#include "qt/QtInputBox.h"
#include "qt/QtMessageBox.h"
#include "qt/QtTimer.h"
#include "qt/QtWakeSignal.h"
#include "qt/SystemClock.h"
#include "shell/ui/TFrmDebug.h"
#include "shell/ui/TFrmHistory.h"
#include "shell/ui/TFrmWatchList.h"

#include "quorlan/BuildConfig.h"

namespace quorlan::app {

struct Program::OwnServices {
    std::unique_ptr<qt::SystemClock> clock;
    std::unique_ptr<shell::ClockSeededRandom> random;
    std::unique_ptr<qt::QtWakeSignal> wakeSignal;
    std::unique_ptr<qt::QtMessageBox> messageBox;
    std::unique_ptr<qt::QtInputBox> inputBox;
};

namespace {

template <class Interface, class Real> Interface& InjectedOr(Interface* injected, std::unique_ptr<Real>& own) {
    if (injected) return *injected;
    own = std::make_unique<Real>();
    return *own;
}

std::unique_ptr<net::ISocket> InjectedOrMainSock(std::unique_ptr<net::ISocket> injected,
                                                const std::optional<net::LinkSecurity>& security,
                                                net::QtMainSock*& made) {
    if (injected) return injected;
    // Fixed here for the whole run: nothing read later can lower it.
    auto socket = std::make_unique<net::QtMainSock>(
        security.value_or(net::LinkSecurityOfBuild(config::kServerTls, config::kServerPins, config::kServerAddress)));
    made = socket.get();
    return socket;
}

base::IAlertSound& InjectedOrQtSound(base::IAlertSound* injected, std::unique_ptr<base::IAlertSound>& own,
                                      base::ILineLogs& logs) {
    if (injected) return *injected;
    own = std::make_unique<qt::QtAlertSound>(qt::QtAlertSound::FindSoundFile(), logs);
    return *own;
}

} // namespace

Program::Program() : Program(Options{}) {}

Program::Program(Options options)
    : options_(std::move(options)), own_(std::make_unique<OwnServices>()),
      clock_(InjectedOr(options_.clock, own_->clock)), random_(InjectedOr(options_.random, own_->random)),
      wakeSignal_(InjectedOr(options_.wakeSignal, own_->wakeSignal)),
      messageBox_(InjectedOr(options_.messageBox, own_->messageBox)),
      inputBox_(InjectedOr(options_.inputBox, own_->inputBox)),
      socket_(InjectedOrMainSock(std::move(options_.socket), options_.linkSecurity, mainSock_)),
      timerProcess_(std::make_unique<qt::QtTimer>(shell::ClientSession::kProcessIntervalMs, false,
                                                  [this] { session_.TimerProcessTimer(); })),
      session_(options_.settingsPath, *socket_, *timerProcess_, messageBox_, clock_, random_, actions_),
      searchSwitch_(session_.State(), session_.Sender(), session_.Logs(), clock_),
      searchCondition_(session_.State(), session_.Sender(), session_.Logs(), inputBox_, messageBox_),
      findRecorder_(session_.State(), session_.History(),
                    InjectedOrQtSound(options_.alertSound, ownSound_, session_.Logs())) {
    ConnectMainSock();

    // The main window first: its timers run from now on, so the reconnect
    // attempts also work while the update check lets the event loop run. The
    // message and input boxes stand over it.
    frmMain_ = std::make_unique<shell::ui::TFrmMain>(
        shell::ui::TFrmMain::Services{session_.State(), session_.Logs(), session_, clock_, random_, searchSwitch_,
                                      searchCondition_},
        options_.mainWindow);
    actions_.SetMainWindow(frmMain_.get());
    // A wake tries the link at once.
    wakeSignal_.SetWake([this] { frmMain_->TimerReConnectTimer(); });
    if (own_->messageBox) own_->messageBox->SetParent(frmMain_.get());
    if (own_->inputBox) own_->inputBox->SetParent(frmMain_.get());

    // 1. The update check. A reconnect tick during the check connects to the
    // address known then: the built-in one, then the list's as soon as the
    // list is read.
    session_.SetUpdateInstalled(false);
    ApplyServerAddress(config::kServerAddress, static_cast<std::uint16_t>(config::kServerPort));
    const StartupNetwork network = RunUpdateCheck();
    session_.SetUpdateInstalled(network.updateInstalled);
    ApplyServerAddress(network.serverAddress, network.serverPort);
    // 2. The first connection attempt.
    session_.Connect();
    // 3. The session starts afresh.
    session_.Reset();
    // 4. The settings, which the windows created next already see.
    frmMain_->ShowSettings(session_.LoadSettings());

    // The other windows, each with what it needs of the session.
    shell::ui::TFrmMain& main = *frmMain_;
    frmBrowser_ = std::make_unique<board::TFrmBrowser>(
        board::TFrmBrowser::Services{session_.State(), session_.Sender(), session_.Logs(), messageBox_});
    frmBrowser_->SetBoardUrlChanged([&main](const std::string& url) { main.SetLabelBoardURL(url); });
    actions_.SetBoardWindow(frmBrowser_.get());

    frmMyinfo_ = std::make_unique<TFrmMyinfo>();
    aboutBox_ = std::make_unique<TAboutBox>();

    frmLoginOKBottomDlg_ = std::make_unique<account::TFrmLoginOKBottomDlg>(
        account::TFrmLoginOKBottomDlg::Services{session_.State(), session_.Sender(), messageBox_});
    actions_.SetLoginDialog(frmLoginOKBottomDlg_.get());

    frmDebug_ = std::make_unique<shell::ui::TFrmDebug>(session_.Logs().debugLog, main, session_.State().FDebugMode);

    frmHistory_ = std::make_unique<shell::ui::TFrmHistory>(session_.History());
    frmHistory_->SetOpenPost([this](const std::string& line) { frmBrowser_->OpenPost(line); });

    frmWatchList_ = std::make_unique<shell::ui::TFrmWatchList>(session_.State(), messageBox_);

    main.SetPeers({
        .showBoardModal = [this] { frmBrowser_->ShowModal(); },
        .showBoardModeless = [this] { frmBrowser_->ShowModeless(); },
        .showLoginPage = [this](int page) { frmLoginOKBottomDlg_->ShowPage(page); },
        .showAbout = [this] { aboutBox_->ShowModal(); },
        .hideDebugWindow = [this] { frmDebug_->hide(); },
        .showHistory =
            [this] {
                frmHistory_->show();
                frmHistory_->raise();
                frmHistory_->activateWindow();
            },
        .found =
            [this](const std::string& line, const std::string& condition) {
                findRecorder_.Found(line, condition);
                if (frmHistory_->isVisible()) frmHistory_->Refresh();
            },
        .openPost = [this](const std::string& line) { frmBrowser_->OpenPost(line); },
        .showWatchList =
            [this] {
                frmWatchList_->show();
                frmWatchList_->raise();
                frmWatchList_->activateWindow();
            },
    });
}

Program::~Program() {
    wakeSignal_.SetWake({});
    frmMain_->SetPeers({});
    frmWatchList_.reset();
    frmHistory_.reset();
    frmDebug_.reset();
    actions_.SetLoginDialog(nullptr);
    frmLoginOKBottomDlg_.reset();
    aboutBox_.reset();
    frmMyinfo_.reset();
    actions_.SetBoardWindow(nullptr);
    frmBrowser_.reset();

    // Then the settings are saved, with the main window's last place.
    session_.SaveSettings(frmMain_->Placement());

    actions_.SetMainWindow(nullptr);
    if (own_->messageBox) own_->messageBox->SetParent(nullptr);
    if (own_->inputBox) own_->inputBox->SetParent(nullptr);
    frmMain_.reset();
    // The socket goes after the session it reports to; whatever it raises
    // while closing must not reach it.
    if (mainSock_) mainSock_->disconnect();
}

void Program::ConnectMainSock() {
    // An injected socket is driven by its owner through Session().
    if (!mainSock_) return;
    shell::ClientSession& session = session_;
    QObject::connect(mainSock_, &net::QtMainSock::Connected, mainSock_, [&session] { session.MainSockConnect(); });
    QObject::connect(mainSock_, &net::QtMainSock::Disconnected, mainSock_,
                     [&session] { session.MainSockDisconnect(); });
    QObject::connect(mainSock_, &net::QtMainSock::ReadyRead, mainSock_, [&session] { session.MainSockRead(); });
    QObject::connect(mainSock_, &net::QtMainSock::Written, mainSock_, [&session] { session.MainSockWrite(); });
    QObject::connect(mainSock_, &net::QtMainSock::ErrorOccurred, mainSock_,
                     [&session](int code) { session.MainSockError(code); });
    QObject::connect(mainSock_, &net::QtMainSock::TlsRefused, mainSock_, [&session](const std::string& reason) {
        session.Logs().DebugLog("Socket: TLS refused: " + reason);
    });
}

StartupNetwork Program::RunUpdateCheck() {
    if (options_.updateCheck) return options_.updateCheck(session_.Logs());
    shell::UpdateCheckOptions check;
    check.applyEndpoint = [this](const shell::ServerEndpoint& server) {
        ApplyServerAddress(server.address, server.port);
    };
    const shell::UpdateOutcome outcome = shell::UpdateCheck(downloader_, session_.Logs(), std::move(check)).Run();
    return {outcome.server.address, outcome.server.port, outcome.updateInstalled};
}

void Program::ApplyServerAddress(const std::string& address, std::uint16_t port) {
    if (options_.applyServerAddress) {
        options_.applyServerAddress(address, port);
    } else if (mainSock_) {
        mainSock_->SetAddress(address);
        mainSock_->SetPort(port);
    }
}

} // namespace quorlan::app
