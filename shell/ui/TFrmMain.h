#pragma once
#include "board/IInputBox.h"
#include "board/ISearchHitActions.h"
#include "board/SearchConditionHandler.h"
#include "net/ClientState.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"
#include "net/IClientActions.h"
#include "net/IClock.h"
#include "net/IMessageBox.h"
#include "net/ISocket.h"
#include "net/ITimer.h"
#include "net/PacketReceiver.h"
#include "net/Sender.h"
#include "shell/CountdownDisplay.h"
#include "shell/IRandomSource.h"
#include "shell/LineLogs.h"
#include "shell/SearchSwitch.h"
#include "shell/WindowShake.h"
#include "shell/http/THTTPDown.h"

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

namespace quorlan::net {
class QtMainSock;
}

namespace quorlan::shell::ui {

class QtTimer;

// Where the connection goes, and whether the start-up update check installed
// a new program (which then runs instead of this one).
struct StartupNetwork {
    std::string serverAddress;
    std::uint16_t serverPort = 0;
    bool updateInstalled = false;
};

// The main window: owns the link to the server (socket, receive queue,
// senders, connection, dispatcher), the settings and session fields and the
// two line logs; starts and stops monitoring, counts down to the next check,
// hides to the notification area and shakes itself on a search hit.
// Every timer handler is public so that it can be driven tick by tick.
class TFrmMain : public QMainWindow, public board::ISearchHitActions, private ISearchSwitchView {
    Q_OBJECT
public:
    // Platform services; each empty member gets the real one.
    struct Options {
        std::string settingsPath = "Quorlan.ini";
        // The start-up update check; runs first, with the receive queue, the
        // downloader and the timers already in place. The real one fetches
        // the patch list with the window's downloader.
        std::function<StartupNetwork(net::ILineLogs& logs)> updateCheck;
        // Socket for the link to the server. The real one is a QtMainSock,
        // whose events are wired to the connection and the receive queue.
        std::unique_ptr<net::ISocket> socket;
        // With an injected socket: where the update check's address and port go.
        std::function<void(const std::string& address, std::uint16_t port)> applyServerAddress;
        net::IClock* clock = nullptr;
        IRandomSource* random = nullptr;
        net::IMessageBox* messageBox = nullptr;
        board::IInputBox* inputBox = nullptr;
        std::function<bool()> trayAvailable;
        std::function<void(const QString& title, const QString& text)> notify;
        std::function<void(const QUrl& url)> openUrl;
    };

    // The other windows as the main window reaches them; set once they exist.
    struct Peers {
        std::function<void()> showBoardModal = {};
        std::function<void()> showBoardModeless = {};
        std::function<void(int page)> showLoginPage = {};
        std::function<void()> showAbout = {};
        std::function<void()> hideDebugWindow = {};
    };

    // FormCreate: receive queue and timers first, then the update check, the
    // first connection attempt, the session reset and the settings.
    TFrmMain(net::IClientActions& actions, Options options, QWidget* parent = nullptr);
    // FormDestroy: saves the settings (the windows created after this one are
    // gone by then, the login dialog having handed back FAutoLogin).
    ~TFrmMain() override;

    void SetPeers(Peers peers) { peers_ = std::move(peers); }

    net::ClientState& State() { return state_; }
    net::Sender& Sender() { return sender_; }
    LineLogs& Logs() { return logs_; }
    net::IMessageBox& MessageBox() { return *messageBox_; }
    net::ISocket& Socket() { return *socket_; }
    net::Connection& Connection() { return connection_; }
    net::PacketReceiver& Receiver() { return receiver_; }

    // For the dispatcher's actions.
    void SetLabelLoginState(const std::string& text);
    void SetStatusPanel(int index, const std::string& text) override;
    void SetLabelBoardURL(const std::string& text);
    void SetLabelSearchCondition(const std::string& text);
    void MatchSearchCondition(const std::string& line) { searchCondition_.MatchSearchCondition(line); }

    // board::ISearchHitActions
    void ShowAlert(const std::string& line) override;
    bool CheckBoxSMSChecked() const override;

    // Controls.
    void BtnStartClick() { searchSwitch_.BtnStartClick(); }
    void BtnSetBoardClick();
    void BtnSearchConditionClick() { searchCondition_.BtnSearchConditionClick(); }
    void BtnSetLoginClick();
    void BtnClearClick();
    void NCloseClick();
    void N1Click();
    void NHelpClick();
    void NLoginClick();
    void NChangePasswordClick();
    void NNewAccountClick();
    void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);

    // Timers.
    void TimerProcessTimer();
    void TimerReConnectTimer();
    void TimerDisplayTimer();
    void TimerShowTimer();
    const net::ITimer& TimerProcess() const;
    const net::ITimer& TimerReConnect() const;
    const net::ITimer& TimerDisplay() const;
    const net::ITimer& TimerShow() const;

    bool TrayIconVisible() const;

signals:
    // The main window was closed: the program ends.
    void Closed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // ISearchSwitchView
    void OpenBoardModal() override;
    void SetStartCaption(const std::string& caption) override;
    void SetSettingControlsEnabled(bool enabled) override;

    void BuildControls();
    void BuildMenu();
    void ConnectControls();
    void FollowMessageList();
    void ConnectMainSock();
    void FormCreate();
    void ApplyStartupNetwork(const StartupNetwork& network);
    void ApplyServerAddress(const std::string& address, std::uint16_t port);
    bool TrayAvailable() const;
    void EnsureTrayIcon();
    void RemoveTrayIcon();
    // A desktop notification of an alert; true when it went through the tray icon.
    bool Notify(const QString& text);
    void FormResize();

    Options options_;
    Peers peers_;

    // Services, owned here unless injected.
    std::unique_ptr<net::IClock> ownClock_;
    std::unique_ptr<IRandomSource> ownRandom_;
    std::unique_ptr<net::IMessageBox> ownMessageBox_;
    std::unique_ptr<board::IInputBox> ownInputBox_;
    net::IClock* clock_;
    IRandomSource* random_;
    net::IMessageBox* messageBox_;
    board::IInputBox* inputBox_;

    LineLogs logs_;
    net::ClientState state_;
    THTTPDown downloader_;
    std::unique_ptr<net::ISocket> socket_;
    net::Sender sender_;
    net::PacketReceiver receiver_;
    net::Connection connection_;
    net::Dispatcher dispatcher_;
    SearchSwitch searchSwitch_;
    CountdownDisplay countdown_;
    WindowShake shake_;
    board::SearchConditionHandler searchCondition_;

    std::unique_ptr<QtTimer> timerProcess_;
    std::unique_ptr<QtTimer> timerReConnect_;
    std::unique_ptr<QtTimer> timerDisplay_;
    std::unique_ptr<QtTimer> timerShow_;

    net::QtMainSock* mainSock_ = nullptr;
    QSystemTrayIcon* trayIcon_ = nullptr;
    bool resizing_ = false;

    // Controls, named as the window's design names them.
    QLabel* LabelLoginState = nullptr;
    QLabel* LabelBoardURL = nullptr;
    QLabel* LabelSearchCondition = nullptr;
    QPushButton* BtnSetLogin = nullptr;
    QPushButton* BtnSetBoard = nullptr;
    QPushButton* BtnSearchCondition = nullptr;
    QCheckBox* CheckBoxSMS = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* BtnStart = nullptr;
    QPushButton* BtnClear = nullptr;
    QLabel* StatusPanels[2] = {nullptr, nullptr};
    QMenu* NTLogin = nullptr;
    QAction* NClose = nullptr;
    QAction* NLogin = nullptr;
    QAction* NChangePassword = nullptr;
    QAction* NNewAccount = nullptr;
    QAction* N1 = nullptr;
    QAction* NHelp = nullptr;
};

} // namespace quorlan::shell::ui
