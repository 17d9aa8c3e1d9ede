#pragma once
#include "base/IMessageBox.h"
#include "client/ClientState.h"
#include "net/Sender.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace quorlan::account {

// The login, password-change and sign-up dialog. Created once at start-up,
// after the settings are loaded, and shown modally again and again; the texts
// typed into it stay between showings. It never touches the socket itself:
// every button builds one request and hands it to the main window's sender.
// Texts crossing this class are cp949 bytes.
class TFrmLoginOKBottomDlg : public QDialog {
    Q_OBJECT
public:
    struct Services {
        client::ClientState& state;
        net::Sender& sender;
        base::IMessageBox& messageBox;
    };

    // FormCreate: the auto-login box, the stored phone number and (with
    // auto-login only) the stored password fill the login page. From then on
    // the session follows the login page: the box in FAutoLogin (so its state
    // at exit is what the next start sees), the boxes' account in
    // EnteredLoginID and EnteredLoginPassword.
    explicit TFrmLoginOKBottomDlg(Services services, QWidget* parent = nullptr);

    // Selects the notebook page (0 login, 1 change password, 2 sign-up), then
    // shows the dialog modally; returns the dialog's result.
    int ShowPage(int pageIndex);

    void BtnLoginClick();
    void BtnChangePasswordClick();
    void BtnNewAccountClick();
    void BtnRequestIdentNumberClick();
    void Button1Click();

    bool AutoLoginChecked() const;
    std::string LoginIDText() const;
    std::string LoginPasswordText() const;

    // After the dispatcher recorded a successful login.
    void LoginSucceeded();
    void SetStatusText(const std::string& text);
    std::string StatusText() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void FormCreate();
    void FormShow();
    void KeepSessionInStep();
    // True when the key event was the robot-mode chord (it is passed on anyway).
    bool EditLoginPasswordKeyDown(const QKeyEvent& event);
    void ApplyLoginButtonStates();

    Services services_;

    QTabWidget* TabbedNotebook1 = nullptr;
    QLineEdit* EditLoginID = nullptr;
    QLineEdit* EditLoginPassword = nullptr;
    QCheckBox* CheckBoxAutoLogin = nullptr;
    QPushButton* BtnLogin = nullptr;
    QLineEdit* EditChangePassword = nullptr;
    QLineEdit* EditChangeNewPassword = nullptr;
    QLineEdit* EditChangePasswordConfirm = nullptr;
    QPushButton* BtnChangePassword = nullptr;
    QLineEdit* EditNewID = nullptr;
    QLineEdit* EditNewPassword = nullptr;
    QLineEdit* EditNewNic = nullptr;
    QPushButton* BtnNewAccount = nullptr;
    QPushButton* BtnRequestIdentNumber = nullptr;
    QPushButton* Button1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel = nullptr;
};

} // namespace quorlan::account
