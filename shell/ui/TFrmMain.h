#pragma once
#include "base/IClock.h"
#include "base/IRandomSource.h"
#include "base/ITimer.h"
#include "board/ISearchHitActions.h"
#include "board/SearchConditionHandler.h"
#include "client/ClientState.h"
#include "shell/CountdownDisplay.h"
#include "shell/ISessionTicks.h"
#include "shell/LineLogs.h"
#include "shell/SearchSwitch.h"
#include "shell/Settings.h"
#include "shell/WindowShake.h"

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

namespace quorlan::qt {
class QtTimer;
}

namespace quorlan::shell::ui {

// The main window, a view of the session: shows the login state, the board,
// the search words and the message list; starts and stops monitoring, counts
// down to the next check, hides to the notification area and shakes itself on
// a search hit. Its timers forward the session's ticks; every timer handler is
// public so that it can be driven tick by tick.
class TFrmMain : public QMainWindow, public board::ISearchHitActions, private ISearchSwitchView {
    Q_OBJECT
public:
    // What the window reads and drives; all of it outlives the window. The
    // window shows the Start switch and the search condition's hits while it
    // exists.
    struct Services {
        client::ClientState& state;
        LineLogs& logs;
        ISessionTicks& ticks;
        const base::IClock& clock;
        base::IRandomSource& random;
        SearchSwitch& searchSwitch;
        board::SearchConditionHandler& searchCondition;
    };

    // Desktop services; each empty member gets the real one.
    struct Options {
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
        // "검색기록".
        std::function<void()> showHistory = {};
        // What a search hit leaves besides the alert (history, sound).
        std::function<void(const std::string& line, const std::string& condition)> found = {};
        // A double-clicked message-list line: its post, when it names one.
        std::function<void(const std::string& line)> openPost = {};
        // "검색단어 목록".
        std::function<void()> showWatchList = {};
    };

    // The timers run from here on, TimerReConnect always, the others while
    // they have work: TimerDisplay while monitoring or about to close,
    // TimerShow during a shake.
    TFrmMain(Services services, Options options = {}, QWidget* parent = nullptr);
    ~TFrmMain() override;

    void SetPeers(Peers peers) { peers_ = std::move(peers); }

    // The settings just loaded: the window's place, the board and the words.
    void ShowSettings(WindowPlacement placement);
    WindowPlacement Placement() const { return {x(), y()}; }

    // For the dispatcher's actions.
    void SetLabelLoginState(const std::string& text);
    void SetStatusPanel(int index, const std::string& text) override;
    void SetTrayStatus(const std::string& text);
    std::string TrayToolTip() const;
    void SetLabelBoardURL(const std::string& text);
    void SetLabelSearchCondition(const std::string& text);
    void MatchSearchCondition(const std::string& line) { services_.searchCondition.MatchSearchCondition(line); }

    // board::ISearchHitActions
    void ShowAlert(const std::string& line, const std::string& condition) override;
    bool CheckBoxSMSChecked() const override;

    // Controls.
    void BtnStartClick();
    void BtnSetBoardClick();
    void BtnSearchConditionClick() { services_.searchCondition.BtnSearchConditionClick(); }
    void BtnSetLoginClick();
    void BtnClearClick();
    void NCloseClick();
    void N1Click();
    void NHelpClick();
    void NLoginClick();
    void NChangePasswordClick();
    void NNewAccountClick();
    void NHistoryClick();
    void NWatchListClick();
    void NSoundClick(bool checked);
    void ListBox1DblClick();
    void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    // The last alert's notification: its post.
    void NotificationClicked();

    // Timers.
    void TimerReConnectTimer();
    void TimerDisplayTimer();
    void TimerShowTimer();
    const qt::QtTimer& TimerReConnect() const;
    const base::ITimer& TimerDisplay() const;
    const base::ITimer& TimerShow() const;

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
    void StartTimers();
    // TimerDisplay runs only while it has work.
    void SyncTimerDisplay();
    bool TrayAvailable() const;
    void EnsureTrayIcon();
    void RemoveTrayIcon();
    // A desktop notification of an alert; true when it went through the tray icon.
    bool Notify(const QString& text);
    void FormResize();

    Services services_;
    Options options_;
    Peers peers_;

    CountdownDisplay countdown_;
    WindowShake shake_;

    std::unique_ptr<qt::QtTimer> timerReConnect_;
    std::unique_ptr<qt::QtTimer> timerDisplay_;
    std::unique_ptr<qt::QtTimer> timerShow_;

    QSystemTrayIcon* trayIcon_ = nullptr;
    bool resizing_ = false;
    std::string alertLine_;  // of the last alert
    std::string trayStatus_; // the link's trouble, for the tray tip

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
    QAction* NHistory = nullptr;
    QAction* NWatchList = nullptr;
    QAction* NSound = nullptr;
    QAction* NClose = nullptr;
    QAction* NLogin = nullptr;
    QAction* NChangePassword = nullptr;
    QAction* NNewAccount = nullptr;
    QAction* N1 = nullptr;
    QAction* NHelp = nullptr;
};

} // namespace quorlan::shell::ui
