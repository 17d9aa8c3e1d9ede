#include "account/TFrmLoginOKBottomDlg.h"

#include "base/Cp949.h"
#include "net/Codec.h"
#include "qt/QtText.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace quorlan::account {

namespace {

using qt::Caption;
using qt::Cp949FromQString;
using qt::QStringFromCp949;

// Password edits show every character as "*", whatever the platform style's
// own mask character is.
class StarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A wire field holds 32 text bytes. The edits take any length (a stored value
// is shown whole, never cut); a longer text is refused by the codec with its
// message box, so no field ever spills into the next one.

constexpr int kClientWidth = 320;
constexpr int kClientHeight = 235;
constexpr int kStatusPanelWidth = 200;

} // namespace

TFrmLoginOKBottomDlg::TFrmLoginOKBottomDlg(Services services, QWidget* parent) : QDialog(parent), services_(services) {
    BuildControls();
    FormCreate();
    KeepSessionInStep();
}

void TFrmLoginOKBottomDlg::BuildControls() {
    setObjectName(QStringLiteral("FrmLoginOKBottomDlg"));
    setWindowTitle(Caption("로그인"));
    setFixedSize(kClientWidth, kClientHeight);

    auto* starStyle = new StarPasswordStyle;
    starStyle->setParent(this);

    auto makeEdit = [this, starStyle](const char* name, bool password) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        if (password) {
            edit->setEchoMode(QLineEdit::Password);
            edit->setStyle(starStyle);
        }
        return edit;
    };
    auto makeButton = [this](const char* name, const char* caption) {
        auto* button = new QPushButton(Caption(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    };

    TabbedNotebook1 = new QTabWidget(this);
    TabbedNotebook1->setObjectName(QStringLiteral("TabbedNotebook1"));
    TabbedNotebook1->setDocumentMode(false);

    // Page 0: log in. Controls are created in row order, which is the tab order.
    auto* loginPage = new QWidget(TabbedNotebook1);
    auto* loginForm = new QFormLayout(loginPage);
    EditLoginID = makeEdit("EditLoginID", false);
    EditLoginID->setText(QStringLiteral("000-0000-0000"));
    EditLoginPassword = makeEdit("EditLoginPassword", true);
    CheckBoxAutoLogin = new QCheckBox(Caption("자동로그인"), this);
    CheckBoxAutoLogin->setObjectName(QStringLiteral("CheckBoxAutoLogin"));
    BtnLogin = makeButton("BtnLogin", "로그인");
    loginForm->addRow(Caption("핸드펀번호 : "), EditLoginID);
    loginForm->addRow(Caption("비밀번호 : "), EditLoginPassword);
    loginForm->addRow(CheckBoxAutoLogin);
    loginForm->addRow(BtnLogin);
    TabbedNotebook1->addTab(loginPage, Caption("로그인"));

    // Page 1: change password.
    auto* changePage = new QWidget(TabbedNotebook1);
    auto* changeForm = new QFormLayout(changePage);
    EditChangePassword = makeEdit("EditChangePassword", true);
    EditChangeNewPassword = makeEdit("EditChangeNewPassword", true);
    EditChangePasswordConfirm = makeEdit("EditChangePasswordConfirm", true);
    BtnChangePassword = makeButton("BtnChangePassword", "변경");
    changeForm->addRow(Caption("비밀번호 : "), EditChangePassword);
    changeForm->addRow(Caption("새번호 : "), EditChangeNewPassword);
    changeForm->addRow(Caption("새번호확인  : "), EditChangePasswordConfirm);
    changeForm->addRow(BtnChangePassword);
    TabbedNotebook1->addTab(changePage, Caption("비번변경"));

    // Page 2: sign up.
    auto* newPage = new QWidget(TabbedNotebook1);
    auto* newForm = new QFormLayout(newPage);
    EditNewID = makeEdit("EditNewID", false);
    EditNewID->setText(QStringLiteral("000-0000-0000"));
    EditNewPassword = makeEdit("EditNewPassword", true);
    EditNewNic = makeEdit("EditNewNic", false);
    BtnNewAccount = makeButton("BtnNewAccount", "가입");
    BtnRequestIdentNumber = makeButton("BtnRequestIdentNumber", "인증번호요청");
    newForm->addRow(Caption("핸드펀번호 : "), EditNewID);
    newForm->addRow(Caption("비밀번호 : "), EditNewPassword);
    newForm->addRow(Caption("인증번호 : "), EditNewNic);
    auto* newButtons = new QHBoxLayout;
    newButtons->addWidget(BtnNewAccount);
    newButtons->addWidget(BtnRequestIdentNumber);
    newForm->addRow(newButtons);
    TabbedNotebook1->addTab(newPage, Caption("신규가입"));

    Button1 = makeButton("Button1", "닫기");

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    // The status bar's single panel.
    StatusPanel = new QLabel(StatusBar1);
    StatusPanel->setObjectName(QStringLiteral("StatusBar1Panel0"));
    StatusPanel->setFixedWidth(kStatusPanelWidth);
    StatusBar1->addWidget(StatusPanel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addWidget(TabbedNotebook1, 1);
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    layout->addWidget(StatusBar1);

    EditLoginPassword->installEventFilter(this);

    connect(BtnLogin, &QPushButton::clicked, this, &TFrmLoginOKBottomDlg::BtnLoginClick);
    connect(BtnChangePassword, &QPushButton::clicked, this, &TFrmLoginOKBottomDlg::BtnChangePasswordClick);
    connect(BtnNewAccount, &QPushButton::clicked, this, &TFrmLoginOKBottomDlg::BtnNewAccountClick);
    connect(BtnRequestIdentNumber, &QPushButton::clicked, this, &TFrmLoginOKBottomDlg::BtnRequestIdentNumberClick);
    connect(Button1, &QPushButton::clicked, this, &TFrmLoginOKBottomDlg::Button1Click);
}

void TFrmLoginOKBottomDlg::FormCreate() {
    CheckBoxAutoLogin->setChecked(services_.state.FAutoLogin);
    // Always, even when empty: the design-time default then disappears from
    // the login page (it stays on the sign-up page).
    EditLoginID->setText(QStringFromCp949(services_.state.FLoginID));
    if (CheckBoxAutoLogin->isChecked()) EditLoginPassword->setText(QStringFromCp949(services_.state.FLoginPassword));
}

void TFrmLoginOKBottomDlg::KeepSessionInStep() {
    client::ClientState& state = services_.state;
    state.EnteredLoginID = LoginIDText();
    state.EnteredLoginPassword = LoginPasswordText();
    connect(EditLoginID, &QLineEdit::textChanged, this,
            [&state](const QString& text) { state.EnteredLoginID = Cp949FromQString(text); });
    connect(EditLoginPassword, &QLineEdit::textChanged, this,
            [&state](const QString& text) { state.EnteredLoginPassword = Cp949FromQString(text); });
    connect(CheckBoxAutoLogin, &QCheckBox::toggled, this, [&state](bool checked) { state.FAutoLogin = checked; });
}

void TFrmLoginOKBottomDlg::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TFrmLoginOKBottomDlg::FormShow() {
    ApplyLoginButtonStates();
    if (services_.state.FLoggedIn) SetStatusText(QUORLAN_CP949("로그인 상태입니다."));
}

void TFrmLoginOKBottomDlg::ApplyLoginButtonStates() {
    const bool loggedIn = services_.state.FLoggedIn;
    BtnLogin->setEnabled(!loggedIn);
    BtnChangePassword->setEnabled(loggedIn);
    BtnNewAccount->setEnabled(!loggedIn);
}

int TFrmLoginOKBottomDlg::ShowPage(int pageIndex) {
    TabbedNotebook1->setCurrentIndex(pageIndex);
    return exec();
}

void TFrmLoginOKBottomDlg::BtnLoginClick() {
    // No validation: empty texts and the untouched default are sent as they are.
    services_.sender.Send(net::EncodeLogin(LoginIDText(), LoginPasswordText()));
}

void TFrmLoginOKBottomDlg::BtnChangePasswordClick() {
    const std::string current = Cp949FromQString(EditChangePassword->text());
    const std::string next = Cp949FromQString(EditChangeNewPassword->text());
    const std::string confirm = Cp949FromQString(EditChangePasswordConfirm->text());
    if (next != confirm) {
        services_.messageBox.ShowMessage(QUORLAN_CP949("새번호 확인이 틀립니다."));
        return;
    }
    services_.sender.Send(net::EncodeChangePassword(current, next));
}

void TFrmLoginOKBottomDlg::BtnNewAccountClick() {
    services_.sender.Send(net::EncodeNewAccount(Cp949FromQString(EditNewID->text()),
                                                Cp949FromQString(EditNewPassword->text()),
                                                Cp949FromQString(EditNewNic->text())));
}

void TFrmLoginOKBottomDlg::BtnRequestIdentNumberClick() {
    const net::Encoded request =
        net::EncodeRequestIdentNumber(Cp949FromQString(EditNewID->text()), Cp949FromQString(EditNewPassword->text()));
    if (!request.ok()) {
        // A refused text is an input error: nothing went out, so the one
        // request of this run is still available once the text is corrected.
        services_.messageBox.ShowMessage(request.error);
        return;
    }
    // Once per run, whether or not the socket took it: nothing enables the
    // button again.
    services_.sender.SendPacket(request.bytes);
    BtnRequestIdentNumber->setEnabled(false);
}

void TFrmLoginOKBottomDlg::Button1Click() {
    reject();
}

bool TFrmLoginOKBottomDlg::AutoLoginChecked() const {
    return CheckBoxAutoLogin->isChecked();
}

std::string TFrmLoginOKBottomDlg::LoginIDText() const {
    return Cp949FromQString(EditLoginID->text());
}

std::string TFrmLoginOKBottomDlg::LoginPasswordText() const {
    return Cp949FromQString(EditLoginPassword->text());
}

void TFrmLoginOKBottomDlg::LoginSucceeded() {
    SetStatusText(QUORLAN_CP949("로그인 되었습니다."));
    ApplyLoginButtonStates();
}

void TFrmLoginOKBottomDlg::SetStatusText(const std::string& text) {
    StatusPanel->setText(QStringFromCp949(text));
}

std::string TFrmLoginOKBottomDlg::StatusText() const {
    return Cp949FromQString(StatusPanel->text());
}

bool TFrmLoginOKBottomDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == EditLoginPassword && event->type() == QEvent::KeyPress)
        EditLoginPasswordKeyDown(*static_cast<QKeyEvent*>(event));
    // The key always goes on to the edit unchanged.
    return QDialog::eventFilter(watched, event);
}

// The hidden robot-mode chord is Ctrl+Alt+R, typed in the login password edit
// and nowhere else. Ctrl and Alt must both be held; further modifiers (Shift,
// Meta) do not matter. It declares this client a robot to the server: neither a
// login nor a connection is needed, and only the status text changes here.
bool TFrmLoginOKBottomDlg::EditLoginPasswordKeyDown(const QKeyEvent& event) {
    const Qt::KeyboardModifiers chord = Qt::ControlModifier | Qt::AltModifier;
    if ((event.modifiers() & chord) != chord || event.key() != Qt::Key_R) return false;
    services_.sender.SendRobotMode(1);
    SetStatusText(QUORLAN_CP949("로봇상태입니다."));
    return true;
}

} // namespace quorlan::account
