#include "app/Program.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "app/TAboutBox.h"
#include "app/TFrmMyinfo.h"
#include "board/ui/TFrmBrowser.h"
#include "net/Cp949.h"
#include "shell/CredentialCodec.h"
#include "shell/ui/MainWindowRig.h"
#include "shell/ui/TFrmDebug.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <gmock/gmock.h>

namespace quorlan::app {
namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

class ProgramTest : public ::testing::Test {
protected:
    std::unique_ptr<Program> Start() { return std::make_unique<Program>(rig.Options()); }

    test::MainWindowRig rig;
};

TEST_F(ProgramTest, WindowsComeUpInOrderAndTheMainWindowSavesLast) {
    const std::string storedId = shell::EncodeCredential("010-1234-5678").value();
    rig.WriteSettings("[config]\r\nLeft=100\r\nTop=50\r\nDebug=1\r\nAutoLogin=0\r\nparam1=" + storedId + "\r\n");
    auto program = Start();

    struct Window {
        QWidget& widget;
        const char* title;
        bool visible;
    } windows[] = {
        {program->FrmMain(), "Quorlan [Ver 0.1]", false}, // shown when the loop starts
        {program->FrmBrowser(), "Quorlan Internet Explorer ", false},
        {program->FrmMyinfo(), "내정보", false},
        {program->AboutBox(), "About", false},
        {program->FrmLoginOKBottomDlg(), "로그인", false},
        {program->FrmDebug(), "Debug", true}, // "Debug"=1
    };
    for (const auto& w : windows) {
        EXPECT_EQ(w.widget.windowTitle().toStdString(), w.title);
        EXPECT_EQ(w.widget.isVisible(), w.visible) << w.title;
    }
    // The windows after the main window see the settings it loaded.
    EXPECT_EQ(program->FrmDebug().pos(), QPoint(100 + 310 + 1, 50));
    auto* loginId = program->FrmLoginOKBottomDlg().findChild<QLineEdit*>(QStringLiteral("EditLoginID"));
    ASSERT_NE(loginId, nullptr);
    EXPECT_EQ(loginId->text().toStdString(), "010-1234-5678");

    // At shutdown the dialog hands its box back before the main window saves.
    program->FrmLoginOKBottomDlg().findChild<QCheckBox*>(QStringLiteral("CheckBoxAutoLogin"))->setChecked(true);
    program->FrmMain().move(130, 70);
    program.reset();

    const std::string ini = test::TempDir::Read(rig.settingsPath);
    EXPECT_THAT(ini, HasSubstr("AutoLogin=1"));
    EXPECT_THAT(ini, HasSubstr("Left=130"));
    EXPECT_THAT(ini, HasSubstr("Top=70"));
    EXPECT_THAT(ini, HasSubstr("param1=" + storedId));
    EXPECT_THAT(ini, HasSubstr("Debug=1")); // never rewritten, kept
}

TEST_F(ProgramTest, StartWithoutABoardShowsTheBoardWindowModallyAndSendsNothing) {
    auto program = Start();
    program->FrmMain().show();
    rig.socket->ClearWritten();
    bool shownModally = false;
    QTimer::singleShot(0, [&] {
        board::TFrmBrowser& browser = program->FrmBrowser();
        shownModally = browser.isVisible() && browser.isModal() && browser.InModalShowing();
        browser.hide(); // the user closes it
    });

    program->FrmMain().BtnStartClick();

    EXPECT_TRUE(shownModally);
    EXPECT_TRUE(rig.socket->written.empty());
    EXPECT_EQ(program->FrmMain().findChild<QPushButton*>(QStringLiteral("BtnStart"))->text().toStdString(), "시작");
    EXPECT_FALSE(program->FrmMain().State().FSearching);
}

TEST_F(ProgramTest, ServerAnswersReachTheWindowsThroughTheGlue) {
    auto program = Start();
    program->FrmLoginOKBottomDlg().findChild<QLineEdit*>(QStringLiteral("EditLoginID"))->setText("010-9999-0000");

    rig.socket->Feed({0x07, 0x00, 0x65, 0x01, 0x00, 0x00, 0x00}); // LoginResult 1
    program->FrmMain().Receiver().MainSockRead();
    program->FrmMain().TimerProcessTimer();

    auto* label = program->FrmMain().findChild<QLabel*>(QStringLiteral("LabelLoginState"));
    EXPECT_EQ(label->text().toStdString(), "핸드폰접속");
    EXPECT_TRUE(program->FrmMain().State().FLoggedIn);
    EXPECT_EQ(program->FrmMain().State().FLoginID, "010-9999-0000");
}

TEST_F(ProgramTest, HidingToTheTrayHidesTheDebugWindowForGood) {
    rig.WriteSettings("[config]\r\nDebug=1\r\n");
    auto program = Start();
    program->FrmMain().show();
    ASSERT_TRUE(program->FrmDebug().isVisible());

    program->FrmMain().BtnClearClick();
    EXPECT_FALSE(program->FrmMain().isVisible());
    EXPECT_FALSE(program->FrmDebug().isVisible());

    program->FrmMain().TrayIconActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(program->FrmMain().isVisible());
    EXPECT_FALSE(program->FrmDebug().isVisible());
}

TEST_F(ProgramTest, HelpMenuShowsTheAboutBoxModally) {
    auto program = Start();
    QString product, version;
    QStringList usage;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        TAboutBox& box = program->AboutBox();
        modal = box.isVisible() && QApplication::activeModalWidget() == &box;
        product = box.findChild<QLabel*>(QStringLiteral("ProductName"))->text();
        version = box.findChild<QLabel*>(QStringLiteral("Version"))->text();
        auto* list = box.findChild<QListWidget*>(QStringLiteral("ListBox1"));
        for (int i = 0; i < list->count(); ++i) usage << list->item(i)->text();
        box.findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    });

    program->FrmMain().NHelpClick();

    EXPECT_TRUE(modal);
    EXPECT_FALSE(program->AboutBox().isVisible());
    EXPECT_EQ(product.toStdString(), "Product Name : Quorlan");
    EXPECT_EQ(version.toStdString(), "Version : 0.1");
    EXPECT_EQ(program->AboutBox().size(), QSize(338, 395));
    for (const char* line :
         {"사용방법", "1. 내게시판을 설정한다 ", "2. 검색단어를 설정한다", "3. 시작버튼을 눌러서 모니터링을 시작한다",
          "* 검색단어가 찾아지게되면 팝업메세지가 뜬다."}) {
        EXPECT_TRUE(usage.contains(QString::fromUtf8(line))) << line;
    }
}

TEST_F(ProgramTest, MyinfoIsAnEmptyFixedDialog) {
    auto program = Start();
    TFrmMyinfo& myinfo = program->FrmMyinfo();
    EXPECT_EQ(myinfo.size(), QSize(390, 214));
    EXPECT_EQ(myinfo.minimumSize(), myinfo.maximumSize());
    EXPECT_TRUE(myinfo.findChildren<QWidget*>().isEmpty());
}

} // namespace
} // namespace quorlan::app
