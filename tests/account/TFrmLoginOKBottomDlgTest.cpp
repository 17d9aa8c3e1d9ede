#include "account/TFrmLoginOKBottomDlg.h"

#include "base/Cp949.h"
#include "fakes/FakeSocket.h"
#include "fakes/RecordingLogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gmock/gmock.h>

#include <memory>

namespace quorlan::account {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Cp(const char* utf8) {
    return base::Cp949FromUtf8(utf8);
}

// Expected packets are written out here: header bytes, then each text in its
// 33-byte field (text, NUL, zeros).
Bytes Header(std::uint8_t length, char type) {
    return {length, 0x00, static_cast<std::uint8_t>(type)};
}
Bytes Field(const std::string& text) {
    Bytes field(33, 0x00);
    std::copy(text.begin(), text.end(), field.begin());
    return field;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class LoginDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<TFrmLoginOKBottomDlg> Create() {
        return std::make_unique<TFrmLoginOKBottomDlg>(TFrmLoginOKBottomDlg::Services{state, sender, box});
    }
    template <class T> static T* Find(QWidget& dialog, const char* name) {
        T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    static std::string Text(QWidget& dialog, const char* edit) {
        return base::Cp949FromUtf8(Find<QLineEdit>(dialog, edit)->text().toStdString());
    }
    static void SetText(QWidget& dialog, const char* edit, const char* utf8) {
        Find<QLineEdit>(dialog, edit)->setText(QString::fromUtf8(utf8));
    }
    // A click as the button gives it: nothing happens while it is disabled.
    static void Click(QWidget& dialog, const char* button) { Find<QPushButton>(dialog, button)->click(); }

    client::ClientState state;
    test::FakeSocket socket;
    test::RecordingLogs logs;
    test::RecordingMessageBox box;
    net::Sender sender{socket, logs, box};
};

TEST_F(LoginDialogTest, LayoutCarriesTheCaptionsAndPages) {
    auto dialog = Create();
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("로그인"));
    EXPECT_EQ(dialog->size(), QSize(320, 235));
    auto* notebook = Find<QTabWidget>(*dialog, "TabbedNotebook1");
    ASSERT_EQ(notebook->count(), 3);
    EXPECT_EQ(notebook->tabText(0), QString::fromUtf8("로그인"));
    EXPECT_EQ(notebook->tabText(1), QString::fromUtf8("비번변경"));
    EXPECT_EQ(notebook->tabText(2), QString::fromUtf8("신규가입"));
    const std::pair<const char*, const char*> buttons[] = {
        {"BtnLogin", "로그인"},    {"BtnChangePassword", "변경"},
        {"BtnNewAccount", "가입"}, {"BtnRequestIdentNumber", "인증번호요청"},
        {"Button1", "닫기"},
    };
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(Find<QPushButton>(*dialog, name)->text(), QString::fromUtf8(caption));
    EXPECT_EQ(Find<QCheckBox>(*dialog, "CheckBoxAutoLogin")->text(), QString::fromUtf8("자동로그인"));
    QStringList labels;
    for (auto* label : dialog->findChildren<QLabel*>()) labels << label->text();
    for (const char* text : {"핸드펀번호 : ", "비밀번호 : ", "새번호 : ", "새번호확인  : ", "인증번호 : "})
        EXPECT_TRUE(labels.contains(QString::fromUtf8(text))) << text;
    for (const char* name : {"EditLoginPassword", "EditChangePassword", "EditChangeNewPassword",
                             "EditChangePasswordConfirm", "EditNewPassword"})
        EXPECT_EQ(Find<QLineEdit>(*dialog, name)->echoMode(), QLineEdit::Password) << name;
    EXPECT_EQ(Find<QLineEdit>(*dialog, "EditNewNic")->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(Find<QLabel>(*dialog, "StatusBar1Panel0")->width(), 200);
}

struct CreationCase {
    const char* name;
    bool autoLogin;
    const char* loginId;
    const char* password;
    const char* expectedId;
    const char* expectedPassword;
};

const CreationCase kCreationCases[] = {
    {"FirstStartWithoutSettings", false, "", "", "", ""},
    {"AutoLoginFillsThePassword", true, "010-1234-5678", "pw1", "010-1234-5678", "pw1"},
    {"WithoutAutoLoginOnlyThePhone", false, "010-1234-5678", "pw1", "010-1234-5678", ""},
};

class LoginDialogCreation : public LoginDialogTest, public ::testing::WithParamInterface<CreationCase> {};

TEST_P(LoginDialogCreation, FillsTheLoginPageFromTheSettings) {
    const CreationCase& c = GetParam();
    state.FAutoLogin = c.autoLogin;
    state.FLoginID = c.loginId;
    state.FLoginPassword = c.password;
    auto dialog = Create();
    EXPECT_EQ(dialog->AutoLoginChecked(), c.autoLogin);
    EXPECT_EQ(dialog->LoginIDText(), c.expectedId);
    EXPECT_EQ(dialog->LoginPasswordText(), c.expectedPassword);
    EXPECT_EQ(Text(*dialog, "EditNewID"), "000-0000-0000");
    EXPECT_EQ(dialog->StatusText(), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, LoginDialogCreation, ::testing::ValuesIn(kCreationCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoginDialogTest, DestructionHandsBackTheAutoLoginBox) {
    auto dialog = Create();
    Find<QCheckBox>(*dialog, "CheckBoxAutoLogin")->setChecked(true);
    dialog.reset();
    EXPECT_TRUE(state.FAutoLogin);
}

TEST_F(LoginDialogTest, ButtonStatesFollowTheLoginState) {
    auto dialog = Create();
    auto states = [&] {
        return std::vector<bool>{Find<QPushButton>(*dialog, "BtnLogin")->isEnabled(),
                                 Find<QPushButton>(*dialog, "BtnChangePassword")->isEnabled(),
                                 Find<QPushButton>(*dialog, "BtnNewAccount")->isEnabled(),
                                 Find<QPushButton>(*dialog, "BtnRequestIdentNumber")->isEnabled()};
    };
    // Before the first showing every button is enabled.
    EXPECT_EQ(states(), (std::vector<bool>{true, true, true, true}));

    dialog->SetStatusText("kept");
    dialog->show();
    EXPECT_EQ(states(), (std::vector<bool>{true, false, true, true}));
    EXPECT_EQ(dialog->StatusText(), "kept");
    dialog->hide();

    state.FLoggedIn = true;
    dialog->show();
    EXPECT_EQ(states(), (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(dialog->StatusText(), Cp("로그인 상태입니다."));
    dialog->hide();
}

TEST_F(LoginDialogTest, LoginSucceededShowsTheStatusAndTheLoggedInButtons) {
    auto dialog = Create();
    state.FLoggedIn = true;
    dialog->LoginSucceeded();
    EXPECT_EQ(dialog->StatusText(), Cp("로그인 되었습니다."));
    EXPECT_FALSE(Find<QPushButton>(*dialog, "BtnLogin")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(*dialog, "BtnChangePassword")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(*dialog, "BtnNewAccount")->isEnabled());
}

TEST_F(LoginDialogTest, LoginSendsTheBoxesAsTheyStand) {
    auto dialog = Create();
    SetText(*dialog, "EditLoginID", "010-1234-5678");
    SetText(*dialog, "EditLoginPassword", "비번");
    Click(*dialog, "BtnLogin");
    EXPECT_EQ(socket.written, Cat({Header(69, 'e'), Field("010-1234-5678"), Field(Cp("비번"))}));
}

TEST_F(LoginDialogTest, ChangePasswordComparesTheNewTextsByteForByte) {
    auto dialog = Create();
    SetText(*dialog, "EditChangePassword", "old");
    SetText(*dialog, "EditChangeNewPassword", "Secret");
    SetText(*dialog, "EditChangePasswordConfirm", "secret");
    Click(*dialog, "BtnChangePassword");
    EXPECT_THAT(box.shown, ::testing::ElementsAre(Cp("새번호 확인이 틀립니다.")));
    EXPECT_TRUE(socket.written.empty());
    EXPECT_EQ(Text(*dialog, "EditChangePasswordConfirm"), "secret");

    SetText(*dialog, "EditChangePasswordConfirm", "Secret");
    Click(*dialog, "BtnChangePassword");
    EXPECT_EQ(socket.written, Cat({Header(69, 'g'), Field("old"), Field("Secret")}));
    EXPECT_EQ(box.shown.size(), 1u);
}

TEST_F(LoginDialogTest, NewAccountSendsThreeFields) {
    auto dialog = Create();
    SetText(*dialog, "EditNewPassword", "pw");
    SetText(*dialog, "EditNewNic", "4321");
    Click(*dialog, "BtnNewAccount");
    EXPECT_EQ(socket.written, Cat({Header(102, 'f'), Field("000-0000-0000"), Field("pw"), Field("4321")}));
}

TEST_F(LoginDialogTest, IdentNumberCanBeRequestedOncePerRun) {
    auto dialog = Create();
    SetText(*dialog, "EditNewID", "010-1111-2222");
    SetText(*dialog, "EditNewPassword", "pw");
    dialog->show();
    Click(*dialog, "BtnRequestIdentNumber");
    Click(*dialog, "BtnRequestIdentNumber");
    EXPECT_EQ(socket.written, Cat({Header(69, 'o'), Field("010-1111-2222"), Field("pw")}));
    EXPECT_FALSE(Find<QPushButton>(*dialog, "BtnRequestIdentNumber")->isEnabled());
    // Showing again does not bring it back.
    dialog->hide();
    dialog->show();
    EXPECT_FALSE(Find<QPushButton>(*dialog, "BtnRequestIdentNumber")->isEnabled());
    dialog->hide();
}

TEST_F(LoginDialogTest, RefusedIdentRequestKeepsTheButton) {
    auto dialog = Create();
    SetText(*dialog, "EditNewPassword", "가나다라마바사아자차카타파하가나다"); // 17 syllables, 34 bytes
    dialog->BtnRequestIdentNumberClick();
    EXPECT_TRUE(socket.written.empty());
    EXPECT_EQ(box.shown.size(), 1u);
    EXPECT_TRUE(Find<QPushButton>(*dialog, "BtnRequestIdentNumber")->isEnabled());
}

struct KeyCase {
    const char* name;
    const char* edit;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool robot;
};

const KeyCase kKeyCases[] = {
    {"CtrlAltR", "EditLoginPassword", Qt::Key_R, Qt::ControlModifier | Qt::AltModifier, true},
    {"CtrlAltShiftR", "EditLoginPassword", Qt::Key_R, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, true},
    {"CtrlR", "EditLoginPassword", Qt::Key_R, Qt::ControlModifier, false},
    {"AltR", "EditLoginPassword", Qt::Key_R, Qt::AltModifier, false},
    {"CtrlAltT", "EditLoginPassword", Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, false},
    {"Enter", "EditLoginPassword", Qt::Key_Return, Qt::NoModifier, false},
    {"ChordInThePhoneEdit", "EditLoginID", Qt::Key_R, Qt::ControlModifier | Qt::AltModifier, false},
    {"ChordInAnotherPasswordEdit", "EditNewPassword", Qt::Key_R, Qt::ControlModifier | Qt::AltModifier, false},
};

class RobotChord : public LoginDialogTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(RobotChord, OnlyCtrlAltRInTheLoginPasswordEdit) {
    const KeyCase& c = GetParam();
    auto dialog = Create();
    QTest::keyClick(Find<QLineEdit>(*dialog, c.edit), c.key, c.modifiers);
    if (c.robot) {
        EXPECT_EQ(socket.written, (Bytes{0x07, 0x00, 'n', 0x01, 0x00, 0x00, 0x00}));
        EXPECT_EQ(dialog->StatusText(), Cp("로봇상태입니다."));
    } else {
        EXPECT_TRUE(socket.written.empty());
        EXPECT_EQ(dialog->StatusText(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, RobotChord, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoginDialogTest, TextsOver32BytesAreRefusedWholeNeverCut) {
    // A hand-edited settings file may hold a longer ID: the edit shows it whole.
    const std::string storedId = "123456789012345678901234567890123";
    state.FLoginID = storedId;
    auto dialog = Create();
    EXPECT_EQ(dialog->LoginIDText(), storedId);

    // 33 ASCII bytes, and 17 Korean syllables (34 cp949 bytes).
    for (const std::string& id : {storedId, Cp("가나다라마바사아자차카타파하가나다")}) {
        socket.ClearWritten();
        box.shown.clear();
        SetText(*dialog, "EditLoginID", base::Utf8FromCp949(id).c_str());
        dialog->BtnLoginClick();
        EXPECT_TRUE(socket.written.empty());
        ASSERT_EQ(box.shown.size(), 1u);
        EXPECT_EQ(box.shown[0], Cp("입력한 글자가 너무 깁니다. 32바이트(한글 16자)까지 입력할 수 있습니다."));
    }

    // 32 bytes fill the field up to its NUL.
    socket.ClearWritten();
    SetText(*dialog, "EditLoginID", "12345678901234567890123456789012");
    SetText(*dialog, "EditLoginPassword", "");
    dialog->BtnLoginClick();
    EXPECT_EQ(socket.written, Cat({Header(69, 'e'), Field("12345678901234567890123456789012"), Field("")}));
}

TEST_F(LoginDialogTest, ShowPageSelectsThePageAndRunsModally) {
    auto dialog = Create();
    QTimer::singleShot(0, dialog.get(), [&] {
        EXPECT_TRUE(dialog->isModal());
        EXPECT_EQ(Find<QTabWidget>(*dialog, "TabbedNotebook1")->currentIndex(), 2);
        Click(*dialog, "Button1");
    });
    EXPECT_EQ(dialog->ShowPage(2), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
}

} // namespace
} // namespace quorlan::account
