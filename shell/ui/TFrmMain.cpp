#include "shell/ui/TFrmMain.h"

#include "board/WatchList.h"
#include "qt/QtText.h"
#include "qt/QtTimer.h"
#include "shell/MinimumSize.h"
#include "shell/ui/NamedButton.h"
#include "shell/ui/ProgramIcon.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "quorlan/BuildConfig.h"

namespace quorlan::shell::ui {

namespace {

constexpr int kDesignLeft = 405;
constexpr int kDesignTop = 165;
constexpr int kDesignSide = 310;
constexpr int kTopPanelHeight = 105;
constexpr int kBottomPanelHeight = 40;
constexpr int kBoardLabelWidth = 137;
constexpr int kStatusPanel0Width = 100;
constexpr int kStatusPanel1Width = 50;
const char* const kTrayTip = "Quorlan";
// How long the icon stays after an alert, so its notification can be read:
// removing an icon takes its notification with it.
constexpr int kNotificationMs = 10000;

QLabel* MakeLabel(QWidget* parent, const char* utf8Caption, const char* objectName = nullptr) {
    auto* label = new QLabel(qt::Caption(utf8Caption), parent);
    // Captions are shown as they stand: "&" is a character, "<" is no markup.
    label->setTextFormat(Qt::PlainText);
    if (objectName) label->setObjectName(QString::fromLatin1(objectName));
    return label;
}

QAction* MakeAction(QMenu* menu, const char* utf8Caption, const char* objectName) {
    QAction* action = menu->addAction(qt::Caption(utf8Caption));
    action->setObjectName(QString::fromLatin1(objectName));
    return action;
}

} // namespace

TFrmMain::TFrmMain(Services services, Options options, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowCloseButtonHint),
      services_(services), options_(std::move(options)),
      countdown_(services_.state, services_.clock), shake_(services_.random) {
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Quorlan [Ver 0.1]"));
    setWindowIcon(ProgramIcon());
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("NanumGothic")});
    font.setPixelSize(11);
    setFont(font);
    BuildControls();
    BuildMenu();
    ConnectControls();
    FollowMessageList();
    services_.searchSwitch.SetView(this);
    services_.searchCondition.SetHitActions(this);
    services_.searchCondition.SetLabelHook([this](const std::string& condition) { SetLabelSearchCondition(condition); });
    // Qt sizes a window without the frame the window manager adds; the design
    // size is taken as the window's own size.
    resize(kDesignSide, kDesignSide);
    move(kDesignLeft, kDesignTop);
    // The window system keeps the user from dragging below the minimum;
    // FormResize still snaps any size set otherwise.
    setMinimumSize(kMinimumWindowSide, kMinimumWindowSide);
    StartTimers();
}

TFrmMain::~TFrmMain() {
    services_.searchSwitch.SetView(nullptr);
    services_.searchCondition.SetHitActions(nullptr);
    services_.searchCondition.SetLabelHook({});
    services_.logs.messageList.SetObserver({});
    if (trayIcon_) trayIcon_->hide();
}

void TFrmMain::StartTimers() {
    timerReConnect_ =
        std::make_unique<qt::QtTimer>(ISessionTicks::kReconnectIntervalMs, false, [this] { TimerReConnectTimer(); });
    timerDisplay_ =
        std::make_unique<qt::QtTimer>(CountdownDisplay::kIntervalMs, false, [this] { TimerDisplayTimer(); });
    timerShow_ = std::make_unique<qt::QtTimer>(WindowShake::kIntervalMs, false, [this] { TimerShowTimer(); });
    timerReConnect_->Start();
    SyncTimerDisplay();
}

void TFrmMain::SyncTimerDisplay() {
    if (!countdown_.HasWork()) {
        timerDisplay_->Stop();
    } else if (!timerDisplay_->IsActive()) {
        timerDisplay_->Start();
    }
}

void TFrmMain::ShowSettings(WindowPlacement placement) {
    move(placement.left, placement.top);
    SetLabelBoardURL(services_.state.FBoardURL);
    SetLabelSearchCondition(services_.state.FSearchCondition);
    NSound->setChecked(services_.state.FSound);
    SyncTimerDisplay(); // the update check's verdict and the fresh session
}

void TFrmMain::BtnStartClick() {
    services_.searchSwitch.BtnStartClick();
    SyncTimerDisplay();
}

void TFrmMain::BuildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* topPanel = new QFrame(central);
    topPanel->setObjectName(QStringLiteral("Panel1"));
    topPanel->setFrameStyle(QFrame::Box | QFrame::Sunken); // raised bevel inside a lowered one
    topPanel->setFixedHeight(kTopPanelHeight);
    auto* top = new QGridLayout(topPanel);
    top->setContentsMargins(6, 4, 6, 4);
    top->setHorizontalSpacing(4);
    top->setVerticalSpacing(2);
    top->addWidget(MakeLabel(topPanel, "접속상태 :  "), 0, 0);
    LabelLoginState = MakeLabel(topPanel, "일번접속", "LabelLoginState");
    top->addWidget(LabelLoginState, 0, 1);
    top->addWidget(MakeLabel(topPanel, "내게시판 : "), 1, 0);
    LabelBoardURL = MakeLabel(topPanel, "현재 없음", "LabelBoardURL");
    LabelBoardURL->setFixedWidth(kBoardLabelWidth);
    top->addWidget(LabelBoardURL, 1, 1);
    top->addWidget(MakeLabel(topPanel, "검색단어 : "), 2, 0);
    LabelSearchCondition = MakeLabel(topPanel, "단어없음", "LabelSearchCondition");
    top->addWidget(LabelSearchCondition, 2, 1);
    CheckBoxSMS = new QCheckBox(qt::Caption("검색시 문자발신"), topPanel);
    CheckBoxSMS->setObjectName(QStringLiteral("CheckBoxSMS"));
    top->addWidget(CheckBoxSMS, 3, 0, 1, 2);
    BtnSetLogin = MakeButton(topPanel, "로그인", "BtnSetLogin");
    BtnSetBoard = MakeButton(topPanel, "게시판설정", "BtnSetBoard");
    BtnSearchCondition = MakeButton(topPanel, "단어설정", "BtnSearchCondition");
    top->addWidget(BtnSetLogin, 0, 2);
    top->addWidget(BtnSetBoard, 1, 2);
    top->addWidget(BtnSearchCondition, 2, 2);
    top->setColumnStretch(1, 1);
    column->addWidget(topPanel);

    ListBox1 = new QListWidget(central);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    column->addWidget(ListBox1, 1);

    auto* bottomPanel = new QWidget(central);
    bottomPanel->setObjectName(QStringLiteral("Panel2"));
    bottomPanel->setFixedHeight(kBottomPanelHeight);
    auto* bottom = new QHBoxLayout(bottomPanel);
    bottom->setContentsMargins(6, 4, 6, 4);
    BtnStart = MakeButton(bottomPanel, "시작", "BtnStart");
    BtnClear = MakeButton(bottomPanel, "작게하기(숨기기)", "BtnClear");
    bottom->addWidget(BtnStart);
    bottom->addWidget(BtnClear);
    column->addWidget(bottomPanel);
    setCentralWidget(central);

    // StatusBar1: two panels, each a label named after its index.
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    StatusPanels[0] = MakeLabel(bar, "현재상태", "StatusBar1Panel0");
    StatusPanels[0]->setFixedWidth(kStatusPanel0Width);
    StatusPanels[1] = MakeLabel(bar, "대기", "StatusBar1Panel1");
    StatusPanels[1]->setMinimumWidth(kStatusPanel1Width);
    bar->addWidget(StatusPanels[0]);
    bar->addWidget(StatusPanels[1], 1); // the last panel takes the rest of the bar
}

void TFrmMain::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(qt::Caption("파일(&F)"));
    file->setObjectName(QStringLiteral("NFile"));
    NHistory = MakeAction(file, "검색기록", "NHistory");
    NWatchList = MakeAction(file, "검색단어 목록", "NWatchList");
    NSound = MakeAction(file, "알림소리", "NSound");
    NSound->setCheckable(true);
    NSound->setChecked(services_.state.FSound);
    NClose = MakeAction(file, "종료", "NClose");
    NTLogin = bar->addMenu(qt::Caption("계정(&S)"));
    NTLogin->setObjectName(QStringLiteral("NTLogin"));
    NLogin = MakeAction(NTLogin, "로그인", "NLogin");
    NChangePassword = MakeAction(NTLogin, "비번변경", "NChangePassword");
    NNewAccount = MakeAction(NTLogin, "신규가입", "NNewAccount");
    QMenu* help = bar->addMenu(qt::Caption("도움말"));
    help->setObjectName(QStringLiteral("NHelpMenu"));
    N1 = MakeAction(help, "홈페이지", "N1");
    NHelp = MakeAction(help, "정보+도움말", "NHelp");
}

void TFrmMain::ConnectControls() {
    connect(BtnStart, &QPushButton::clicked, this, &TFrmMain::BtnStartClick);
    connect(BtnClear, &QPushButton::clicked, this, &TFrmMain::BtnClearClick);
    connect(BtnSetLogin, &QPushButton::clicked, this, &TFrmMain::BtnSetLoginClick);
    connect(BtnSetBoard, &QPushButton::clicked, this, &TFrmMain::BtnSetBoardClick);
    connect(BtnSearchCondition, &QPushButton::clicked, this, &TFrmMain::BtnSearchConditionClick);
    connect(NHistory, &QAction::triggered, this, &TFrmMain::NHistoryClick);
    connect(NWatchList, &QAction::triggered, this, &TFrmMain::NWatchListClick);
    connect(NSound, &QAction::triggered, this, &TFrmMain::NSoundClick);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, &TFrmMain::ListBox1DblClick);
    connect(NClose, &QAction::triggered, this, &TFrmMain::NCloseClick);
    connect(NLogin, &QAction::triggered, this, &TFrmMain::NLoginClick);
    connect(NChangePassword, &QAction::triggered, this, &TFrmMain::NChangePasswordClick);
    connect(NNewAccount, &QAction::triggered, this, &TFrmMain::NNewAccountClick);
    connect(N1, &QAction::triggered, this, &TFrmMain::N1Click);
    connect(NHelp, &QAction::triggered, this, &TFrmMain::NHelpClick);
}

void TFrmMain::FollowMessageList() {
    for (const auto& line : services_.logs.messageList.Lines()) ListBox1->addItem(qt::QStringFromCp949(line));
    services_.logs.messageList.SetObserver([this](bool droppedOldest, const std::string& line) {
        if (droppedOldest && ListBox1->count() > 0) delete ListBox1->takeItem(0);
        ListBox1->addItem(qt::QStringFromCp949(line));
        // The newest line is selected, which scrolls the list to it.
        ListBox1->setCurrentRow(ListBox1->count() - 1);
    });
}

void TFrmMain::SetLabelLoginState(const std::string& text) {
    LabelLoginState->setText(qt::QStringFromCp949(text));
}

void TFrmMain::SetStatusPanel(int index, const std::string& text) {
    if (index < 0 || index > 1) return;
    StatusPanels[index]->setText(qt::QStringFromCp949(text));
}

void TFrmMain::SetTrayStatus(const std::string& text) {
    trayStatus_ = text;
    if (trayIcon_) trayIcon_->setToolTip(qt::QStringFromCp949(TrayToolTip()));
}

std::string TFrmMain::TrayToolTip() const {
    return trayStatus_.empty() ? std::string(kTrayTip) : std::string(kTrayTip) + " - " + trayStatus_;
}

void TFrmMain::SetLabelBoardURL(const std::string& text) {
    LabelBoardURL->setText(qt::QStringFromCp949(text));
}

void TFrmMain::SetLabelSearchCondition(const std::string& text) {
    LabelSearchCondition->setText(qt::QStringFromCp949(text));
}

bool TFrmMain::CheckBoxSMSChecked() const {
    return CheckBoxSMS->isChecked();
}

void TFrmMain::OpenBoardModal() {
    if (peers_.showBoardModal) peers_.showBoardModal();
}

void TFrmMain::SetStartCaption(const std::string& caption) {
    BtnStart->setText(qt::QStringFromCp949(caption));
}

void TFrmMain::SetSettingControlsEnabled(bool enabled) {
    BtnSetLogin->setEnabled(enabled);
    BtnSetBoard->setEnabled(enabled);
    BtnSearchCondition->setEnabled(enabled);
    NTLogin->setEnabled(enabled);
    NTLogin->menuAction()->setEnabled(enabled);
}

void TFrmMain::BtnSetBoardClick() {
    if (peers_.showBoardModeless) peers_.showBoardModeless();
}

void TFrmMain::BtnSetLoginClick() {
    if (peers_.showLoginPage) peers_.showLoginPage(0);
}

void TFrmMain::NLoginClick() {
    if (peers_.showLoginPage) peers_.showLoginPage(0);
}

void TFrmMain::NChangePasswordClick() {
    if (peers_.showLoginPage) peers_.showLoginPage(1);
}

void TFrmMain::NNewAccountClick() {
    if (peers_.showLoginPage) peers_.showLoginPage(2);
}

void TFrmMain::NCloseClick() {
    close();
}

void TFrmMain::N1Click() {
    const QUrl url(QString::fromUtf8(config::kHomePageUrl));
    if (options_.openUrl) {
        options_.openUrl(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

void TFrmMain::NHelpClick() {
    if (peers_.showAbout) peers_.showAbout();
}

bool TFrmMain::TrayIconVisible() const {
    return trayIcon_ && trayIcon_->isVisible();
}

void TFrmMain::BtnClearClick() {
    if (services_.state.FDebugMode && peers_.hideDebugWindow) peers_.hideDebugWindow();
    if (!TrayAvailable()) {
        // Without a notification area a hidden window could only come back on
        // an alert; it goes to the task bar instead.
        showMinimized();
        return;
    }
    EnsureTrayIcon();
    hide();
    trayIcon_->show();
}

bool TFrmMain::TrayAvailable() const {
    return options_.trayAvailable ? options_.trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TFrmMain::EnsureTrayIcon() {
    // The notification-area icon: the program's icon with the tip "Quorlan";
    // it exists on screen only while the window is hidden.
    if (trayIcon_) return;
    trayIcon_ = new QSystemTrayIcon(ProgramIcon(), this);
    trayIcon_->setObjectName(QStringLiteral("TrayIcon"));
    trayIcon_->setToolTip(qt::QStringFromCp949(TrayToolTip()));
    connect(trayIcon_, &QSystemTrayIcon::activated, this, &TFrmMain::TrayIconActivated);
    connect(trayIcon_, &QSystemTrayIcon::messageClicked, this, &TFrmMain::NotificationClicked);
}

void TFrmMain::NotificationClicked() {
    if (peers_.openPost) peers_.openPost(alertLine_);
}

void TFrmMain::RemoveTrayIcon() {
    if (trayIcon_) trayIcon_->hide();
}

void TFrmMain::TrayIconActivated(QSystemTrayIcon::ActivationReason reason) {
    // Only a left click on the icon restores; the debug window stays hidden.
    if (reason != QSystemTrayIcon::Trigger) return;
    RemoveTrayIcon();
    show();
}

void TFrmMain::NHistoryClick() {
    if (peers_.showHistory) peers_.showHistory();
}

void TFrmMain::NWatchListClick() {
    if (peers_.showWatchList) peers_.showWatchList();
}

void TFrmMain::NSoundClick(bool checked) {
    services_.state.FSound = checked;
}

void TFrmMain::ListBox1DblClick() {
    const QListWidgetItem* item = ListBox1->currentItem();
    if (item && peers_.openPost) peers_.openPost(qt::Cp949FromQString(item->text()));
}

void TFrmMain::ShowAlert(const std::string& line, const std::string& condition) {
    alertLine_ = line;
    if (!isActiveWindow()) {
        if (Notify(qt::QStringFromCp949(line + "\n" + board::HitConditionText(condition)))) {
            // Unless the window has gone back to the notification area by then.
            QTimer::singleShot(kNotificationMs, this, [this] {
                if (isVisible()) RemoveTrayIcon();
            });
        } else {
            RemoveTrayIcon();
        }
        if (isMinimized()) showNormal();
        show();
        raise();
    }
    timerShow_->Start(); // an alert during a shake only keeps it running
    // Recorded and sounded once the alert itself is up: neither may hold it back.
    if (peers_.found) peers_.found(line, condition);
}

bool TFrmMain::Notify(const QString& text) {
    if (options_.notify) {
        options_.notify(QString::fromLatin1(kTrayTip), text);
        return false;
    }
    if (!TrayAvailable()) return false;
    EnsureTrayIcon();
    // A notification needs the icon in place.
    trayIcon_->show();
    trayIcon_->showMessage(QString::fromLatin1(kTrayTip), text, ProgramIcon(), kNotificationMs);
    return true;
}

void TFrmMain::TimerReConnectTimer() {
    // Run early on a wake as well: the next tick comes a whole pace later.
    timerReConnect_->Restart(services_.ticks.TimerReConnect());
}

void TFrmMain::TimerDisplayTimer() {
    const CountdownDisplay::Tick tick = countdown_.TimerDisplayTimer();
    if (tick.closeWindow) close(); // the installed update runs instead; the rest of the tick still runs
    if (tick.panelChanged) SetStatusPanel(1, tick.panelText);
    SyncTimerDisplay();
}

void TFrmMain::TimerShowTimer() {
    const WindowShake::Step step = shake_.TimerShowTimer({x(), y()});
    move(step.position.left, step.position.top);
    if (step.finished) timerShow_->Stop();
}

const qt::QtTimer& TFrmMain::TimerReConnect() const {
    return *timerReConnect_;
}
const base::ITimer& TFrmMain::TimerDisplay() const {
    return *timerDisplay_;
}
const base::ITimer& TFrmMain::TimerShow() const {
    return *timerShow_;
}

void TFrmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TFrmMain::FormResize() {
    if (resizing_) return;
    const WindowSize snapped = SnapToMinimumSize({width(), height()});
    if (snapped.width == width() && snapped.height == height()) return;
    resizing_ = true;
    resize(snapped.width, snapped.height);
    resizing_ = false;
}

void TFrmMain::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) emit Closed();
}

} // namespace quorlan::shell::ui
