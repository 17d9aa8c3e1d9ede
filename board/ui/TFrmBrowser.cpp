#include "board/ui/TFrmBrowser.h"

#include "base/Cp949.h"
#include "board/PagePosts.h"
#include "board/SmsGatewayUrl.h"
#include "quorlan/BuildConfig.h"
#include "qt/QtText.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <utility>

namespace quorlan::board {

namespace {

using qt::Caption;
using qt::Cp949FromQString;
using qt::QStringFromCp949;

constexpr int kWindowWidth = 1038;
constexpr int kWindowHeight = 801;
constexpr int kTopBarHeight = 45;
constexpr int kAddressFieldWidth = 409;
// TimerCompare fires this long after the last completed document.
constexpr int kCompareIntervalMs = 2000;
// The board page and its pictures; a check reloads the same few.
constexpr int kHttpCacheBytes = 4 * 1024 * 1024;

// The home button's small house: a roof, walls and a door, drawn so it looks
// the same whatever icon theme the desktop has.
QIcon HouseIcon() {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x60, 0x30, 0x10), 1.2));
    painter.setBrush(QColor(0xC8, 0x40, 0x30));
    const QPointF roof[] = {{1.5, 10.0}, {10.0, 2.0}, {18.5, 10.0}};
    painter.drawPolygon(roof, 3);
    painter.setBrush(QColor(0xF0, 0xE0, 0xB0));
    painter.drawRect(QRectF(4.0, 10.0, 12.0, 8.5));
    painter.setBrush(QColor(0x80, 0x50, 0x20));
    painter.drawRect(QRectF(8.5, 12.5, 3.5, 6.0));
    return QIcon(pixmap);
}

} // namespace

TFrmBrowser::TFrmBrowser(Services services, QWidget* parent)
    : QWidget(parent, Qt::Window), services_(services), smsGatewayUrl_(config::kSmsGatewayUrl),
      WebBrowser1(new QWebEngineView(this)), timerCompare_(kCompareIntervalMs, true, [this] { TimerCompareTimer(); }),
      browser_(*WebBrowser1, config::kBrowserHomeUrl),
      cycle_(browser_, timerCompare_, services.sender, services.logs, services.state), sms_(services.logs) {
    BuildControls();
}

TFrmBrowser::~TFrmBrowser() {
    if (modalLoop_) modalLoop_->quit();
}

void TFrmBrowser::BuildControls() {
    setObjectName(QStringLiteral("FrmBrowser"));
    setWindowTitle(QStringFromCp949("Quorlan Internet Explorer "));
    resize(kWindowWidth, kWindowHeight);

    auto* topBar = new QWidget(this);
    topBar->setObjectName(QStringLiteral("Panel1"));
    topBar->setFixedHeight(kTopBarHeight);
    auto* bar = new QHBoxLayout(topBar);
    bar->setContentsMargins(4, 4, 4, 4);

    SpeedButton3 = new QToolButton(topBar);
    SpeedButton3->setObjectName(QStringLiteral("SpeedButton3"));
    SpeedButton3->setIcon(HouseIcon());
    SpeedButton3->setAutoRaise(true);

    Edit1 = new QLineEdit(topBar);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFixedWidth(kAddressFieldWidth);
    Edit1->setText(QString::fromUtf8(config::kDefaultBoardUrl));
    Edit1->installEventFilter(this);

    SpeedButton1 = new QToolButton(topBar);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("->"));
    SpeedButton1->setAutoRaise(true);

    Button3 = new QPushButton(Caption("네이버"), topBar);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button4 = new QPushButton(Caption("다음"), topBar);
    Button4->setObjectName(QStringLiteral("Button4"));
    BtnSeleteBoard = new QPushButton(Caption("게시판선택"), topBar);
    BtnSeleteBoard->setObjectName(QStringLiteral("BtnSeleteBoard"));

    bar->addWidget(SpeedButton3);
    bar->addWidget(Edit1);
    bar->addWidget(SpeedButton1);
    bar->addWidget(Button3);
    bar->addWidget(Button4);
    bar->addStretch(1);
    bar->addWidget(BtnSeleteBoard);

    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    // The window only shows and reads board pages: nothing of the engine is
    // kept on disk, and the services a browser needs for its user are off.
    QWebEngineProfile* profile = WebBrowser1->page()->profile();
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setHttpCacheMaximumSize(kHttpCacheBytes);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);
    QWebEngineSettings* settings = WebBrowser1->settings();
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    settings->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(topBar);
    layout->addWidget(WebBrowser1, 1);

    connect(SpeedButton1, &QToolButton::clicked, this, &TFrmBrowser::SpeedButton1Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TFrmBrowser::SpeedButton3Click);
    connect(Button3, &QPushButton::clicked, this, &TFrmBrowser::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TFrmBrowser::Button4Click);
    connect(BtnSeleteBoard, &QPushButton::clicked, this, &TFrmBrowser::BtnSeleteBoardClick);
    // The address follows every committed navigation, redirects included.
    connect(WebBrowser1, &QWebEngineView::urlChanged, this, &TFrmBrowser::WebBrowser1NavigateComplete2);
    connect(WebBrowser1, &QWebEngineView::loadFinished, this, &TFrmBrowser::WebBrowser1DocumentComplete);
    connect(WebBrowser1->page(), &QWebEnginePage::renderProcessTerminated, this, &TFrmBrowser::RendererGone);
}

void TFrmBrowser::RendererGone() {
    services_.logs.DebugLog("WebBrowser: renderer ended, reloading");
    browser_.FailReadsInFlight();
    // Nothing is left to read or compare until a document loads again.
    loadFailed_ = true;
    cycle_.LoadFailed();
    // A new renderer starts with the next navigation, made from the loop as
    // the engine asks; a pending server list is compared once the board is back.
    QTimer::singleShot(0, this, [this] {
        if (!services_.state.FBoardURL.empty()) {
            browser_.Navigate(services_.state.FBoardURL);
        } else {
            WebBrowser1->reload();
        }
    });
}

void TFrmBrowser::SetBoardUrlChanged(std::function<void(const std::string& url)> onChanged) {
    boardUrlChanged_ = std::move(onChanged);
}

void TFrmBrowser::SetSmsGatewayUrl(std::string baseUrl) {
    smsGatewayUrl_ = std::move(baseUrl);
}

void TFrmBrowser::showEvent(QShowEvent* event) {
    // A window restored by the window system, or shown again only to become
    // modal, keeps its page.
    if (!event->spontaneous() && !keepPage_) FormShow();
    QWidget::showEvent(event);
}

void TFrmBrowser::FormShow() {
    if (!services_.state.FBoardURL.empty()) {
        browser_.Navigate(services_.state.FBoardURL);
    } else {
        browser_.GoHome();
    }
}

void TFrmBrowser::hideEvent(QHideEvent* event) {
    // Hiding (a board selection or the user closing the window) ends a modal
    // showing, so the main window is usable again.
    if (modalLoop_ && !event->spontaneous()) modalLoop_->quit();
    QWidget::hideEvent(event);
}

bool TFrmBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && event->type() == QEvent::KeyPress) Edit1KeyDown(static_cast<QKeyEvent*>(event)->key());
    return QWidget::eventFilter(watched, event);
}

void TFrmBrowser::Edit1KeyDown(int key) {
    // The Enter key, on the main block or the keypad; every other key only edits.
    if (key == Qt::Key_Return || key == Qt::Key_Enter) NavigateTo(Cp949FromQString(Edit1->text()));
}

void TFrmBrowser::SpeedButton1Click() {
    NavigateTo(Cp949FromQString(Edit1->text()));
}

void TFrmBrowser::SpeedButton3Click() {
    browser_.GoHome();
}

void TFrmBrowser::Button3Click() {
    NavigateTo(config::kPortal1Url);
}

void TFrmBrowser::Button4Click() {
    NavigateTo(config::kPortal2Url);
}

void TFrmBrowser::NavigateTo(const std::string& url) {
    Edit1->setText(QStringFromCp949(url));
    browser_.Navigate(url);
}

void TFrmBrowser::WebBrowser1NavigateComplete2() {
    Edit1->setText(QStringFromCp949(browser_.LocationURL()));
}

void TFrmBrowser::WebBrowser1DocumentComplete(bool ok) {
    WebBrowser1NavigateComplete2();
    // A load that failed (no answer, refused, aborted by a newer navigation)
    // shows the engine's error page, not the board: comparing that page would
    // report an empty list and make every post of the next check look new. It
    // does not start the compare timer and stops one that an earlier document
    // started; the pending list waits for a document that did load.
    loadFailed_ = !ok;
    const bool lookForPost = std::exchange(postReload_, false) && postLine_;
    // A list request the board was reloaded for is answered from this
    // document, or not at all when it failed.
    const bool answerList = std::exchange(listReload_, false);
    if (!ok) {
        services_.logs.DebugLog("WebBrowser: load failed " + browser_.LocationURL());
        cycle_.LoadFailed();
        if (lookForPost) ShowPostOrBoard(std::nullopt);
        return;
    }
    cycle_.DocumentComplete(browser_.LocationURL());
    if (answerList) cycle_.AnswerListRequest();
    if (lookForPost) LookForPost(true);
}

void TFrmBrowser::OpenPost(const std::string& line) {
    postLine_ = line;
    postReload_ = false;
    if (services_.state.FBoardURL.empty()) return ShowPostOrBoard(std::nullopt);
    if (!loadFailed_ && browser_.LocationURL() == services_.state.FBoardURL) return LookForPost(false);
    postReload_ = true;
    browser_.Navigate(services_.state.FBoardURL);
}

void TFrmBrowser::LookForPost(bool reloaded) {
    QPointer<TFrmBrowser> self(this);
    browser_.ReadPageLinks([self, reloaded](std::optional<std::vector<LinkRecord>> links) {
        if (!self || !self->postLine_) return;
        std::optional<std::string> link =
            links ? LinkOfShownLine(FindPagePosts(*links), *self->postLine_) : std::nullopt;
        if (link || reloaded) return self->ShowPostOrBoard(link);
        // The page shown may be older than the line: the board afresh.
        self->postReload_ = true;
        self->browser_.Navigate(self->services_.state.FBoardURL);
    });
}

void TFrmBrowser::ShowPostOrBoard(const std::optional<std::string>& link) {
    postLine_.reset();
    // Shown as it is: the board just read, or the post about to load.
    keepPage_ = true;
    ShowModeless();
    keepPage_ = false;
    if (!link) {
        services_.logs.AddListMessage(QUORLAN_CP949("게시물이 게시판 첫 페이지에 없습니다."));
        if (loadFailed_ || browser_.LocationURL() != services_.state.FBoardURL) FormShow();
        return;
    }
    NavigateTo(*link);
}

void TFrmBrowser::TimerCompareTimer() {
    cycle_.TimerCompareTimer();
}

void TFrmBrowser::BtnSeleteBoardClick() {
    services_.state.FBoardURL = Cp949FromQString(Edit1->text());
    if (boardUrlChanged_) boardUrlChanged_(services_.state.FBoardURL);
    // The page list is only stored, when the page's answer comes; SetBoard
    // goes out now, so a re-selection after a reconnect follows the Login the
    // same handler sent, whatever the hidden window can read.
    cycle_.SelectBoard([this](std::optional<std::size_t> posts) { BoardPageRead(posts); });
    // An address of 256 bytes or more is refused here with "error" but stays
    // stored and shown.
    services_.sender.SendSetBoard(services_.state.FRepeat, services_.state.FBoardURL);
    if (!services_.state.FDebugMode) hide();
}

void TFrmBrowser::BoardPageRead(std::optional<std::size_t> posts) {
    if (posts) {
        services_.logs.AddListMessage(*posts == 0 ? NoPostsMessage() : PostsFoundMessage(*posts));
        return;
    }
    // Told only to a user looking at the window (in debug mode it stays
    // open); a hidden window leaves the debug line alone.
    if (isVisible()) services_.messageBox.ShowMessage(QUORLAN_CP949("게시판 페이지를 읽을 수 없습니다."));
}

void TFrmBrowser::AnswerListRequest() {
    // After a failed load the engine shows its error page, whose empty list
    // would become the board's reference and make every post look new.
    if (loadFailed_) {
        services_.logs.DebugLog("WebBrowser: no document to read");
        return;
    }
    // Another page's links would become the board's reference, and the next
    // check would find every post of the board new.
    const std::string& board = services_.state.FBoardURL;
    if (!board.empty() && browser_.LocationURL() != board) {
        listReload_ = true;
        browser_.Navigate(board);
        return;
    }
    cycle_.AnswerListRequest();
}

void TFrmBrowser::ReceiveCheckList(const std::string& postListText) {
    cycle_.ReceiveCheckList(postListText);
}

void TFrmBrowser::SendSMSByGateway(const std::string& phone, const std::string& message) {
    sms_.Get(BuildSmsGatewayUrl(smsGatewayUrl_, services_.state.FSMSID, services_.state.FSMSPassword, phone, message));
}

void TFrmBrowser::ShowModal() {
    if (modalLoop_) {
        raise();
        activateWindow();
        return;
    }
    // Modality can only change while the window is hidden. Shown again at
    // once, it keeps the page the user is on.
    keepPage_ = isVisible();
    if (keepPage_) hide();
    setWindowModality(Qt::ApplicationModal);
    show();
    keepPage_ = false;
    raise();
    activateWindow();

    QPointer<TFrmBrowser> self(this);
    QEventLoop loop;
    modalLoop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    if (!self) return;
    modalLoop_ = nullptr;
    if (!isVisible()) setWindowModality(Qt::NonModal);
}

void TFrmBrowser::ShowModeless() {
    if (!isVisible() && !modalLoop_) setWindowModality(Qt::NonModal);
    show();
    raise();
    activateWindow();
}

} // namespace quorlan::board
