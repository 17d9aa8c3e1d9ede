#pragma once
#include "base/ILineLogs.h"
#include "base/IMessageBox.h"
#include "board/CheckCycle.h"
#include "board/ui/SmsGatewayClient.h"
#include "board/ui/WebEngineBrowser.h"
#include "client/ClientState.h"
#include "net/Sender.h"
#include "qt/QtTimer.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

class QEventLoop;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWebEngineView;

namespace quorlan::board {

// The board browser window: the user browses to the board to watch and
// selects it; afterwards the window (mostly hidden) keeps the board page
// loaded for the check cycle, which reads it through WebBrowser1. Created
// hidden once at start-up; closing it only hides it. Texts and addresses
// crossing this class are cp949 bytes.
class TFrmBrowser : public QWidget {
    Q_OBJECT
public:
    struct Services {
        client::ClientState& state;
        net::Sender& sender;
        base::ILineLogs& logs;
        base::IMessageBox& messageBox;
    };

    explicit TFrmBrowser(Services services, QWidget* parent = nullptr);
    ~TFrmBrowser() override;

    // Called with the new FBoardURL whenever a board is selected (the main
    // window's board label follows it).
    void SetBoardUrlChanged(std::function<void(const std::string& url)> onChanged);
    // Scheme, host and port of the SMS gateway; the build-time address unless
    // set otherwise.
    void SetSmsGatewayUrl(std::string baseUrl);

    // Board selection ("게시판선택", and the re-selection after a reconnect):
    // FBoardURL := the address field; a read of the page shown into FPageList
    // is asked for; SetBoard goes out at once and, outside debug mode, the
    // window hides. When the page is read, the message list says how many
    // posts it shows, or that it shows none. A page that cannot be read is
    // stored as an empty list and, while the window is open, said so in a
    // message box.
    void BtnSeleteBoardClick();
    // ListRequest: the list of the board, answered with ListReply. While the
    // window shows another page (a post opened from a found line, a page the
    // user went to) the board is loaded again and answered from once its
    // document completes; with no board selected, the page shown answers.
    void AnswerListRequest();
    // CheckList: the text becomes FServerList and the board is reloaded.
    void ReceiveCheckList(const std::string& postListText);
    // RequestSMS: one GET to the gateway on a client of its own, so the board
    // page stays where it is. The message-list line is the dispatcher's.
    void SendSMSByGateway(const std::string& phone, const std::string& message);
    // Start without a board: shown application-modal until the window hides
    // (a board selection outside debug mode, or the user closing it).
    void ShowModal();
    // "게시판설정": shown without blocking anything.
    void ShowModeless();
    // A found line (from the message list or the history): its post is
    // looked for on the board page shown, or on the board loaded afresh when
    // the page shown is another or does not hold it, and shown here. A post
    // no longer on the board's first page is said so in the message list,
    // and the board is shown.
    void OpenPost(const std::string& line);

    // Window handlers.
    void Edit1KeyDown(int key);
    void SpeedButton1Click();
    void SpeedButton3Click();
    void Button3Click();
    void Button4Click();
    void NavigateTo(const std::string& url);
    void WebBrowser1NavigateComplete2();
    void WebBrowser1DocumentComplete(bool ok);
    void TimerCompareTimer();
    // The browser's renderer process died: reads in flight fail, and the
    // board (or, with none selected, the page shown) is loaded again.
    void RendererGone();

    CheckCycle& Cycle() { return cycle_; }
    const qt::QtTimer& TimerCompare() const { return timerCompare_; }
    bool InModalShowing() const { return modalLoop_ != nullptr; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void FormShow();
    void BoardPageRead(std::optional<std::size_t> posts);
    void LookForPost(bool reloaded);
    void ShowPostOrBoard(const std::optional<std::string>& link);

    Services services_;
    std::function<void(const std::string&)> boardUrlChanged_;
    std::string smsGatewayUrl_;
    QEventLoop* modalLoop_ = nullptr;
    bool keepPage_ = false;   // shown again only to change modality
    bool loadFailed_ = false; // the engine shows its error page
    // The line whose post is being looked for; the board is being reloaded for it.
    std::optional<std::string> postLine_;
    bool postReload_ = false;
    // A list request waits for the board being loaded again for it.
    bool listReload_ = false;

    QToolButton* SpeedButton3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* BtnSeleteBoard = nullptr;
    QWebEngineView* WebBrowser1 = nullptr;

    // Declared after the widgets they use and destroyed before them (child
    // widgets go last, with QWidget), so no page answer reaches a dead cycle.
    // One-shot, 2,000 ms: it fires that long after the last completed document.
    qt::QtTimer timerCompare_;
    WebEngineBrowser browser_;
    CheckCycle cycle_;
    SmsGatewayClient sms_;
};

} // namespace quorlan::board
