#include "app/Program.h"

#include "account/TFrmLoginOKBottomDlg.h"
#include "app/TAboutBox.h"
#include "app/TFrmMyinfo.h"
#include "base/Cp949.h"
#include "board/ui/TFrmBrowser.h"
#include "fakes/FakeAlertSound.h"
#include "fakes/FakeWakeSignal.h"
#include "quorlan/BuildConfig.h"
#include "shell/CredentialCodec.h"
#include "qt/QtTimer.h"
#include "shell/ui/MainWindowRig.h"
#include "shell/ui/TFrmDebug.h"
#include "shell/ui/TFrmHistory.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <gmock/gmock.h>

namespace quorlan::app {
namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

// The program on the main window's fakes, with an update check that answers
// at once.
struct ProgramRig : test::MainWindowRig {
    Program::Options Options() {
        Program::Options options;
        options.settingsPath = settingsPath;
        options.updateCheck = [this](base::ILineLogs&) {
            serverDuringCheck = appliedAddress + ":" + std::to_string(appliedPort);
            return network;
        };
        auto fakeSocket = std::make_unique<test::FakeSocket>();
        socket = fakeSocket.get();
        options.socket = std::move(fakeSocket);
        options.applyServerAddress = [this](const std::string& address, std::uint16_t port) {
            appliedAddress = address;
            appliedPort = port;
        };
        options.clock = &clock;
        options.random = &random;
        options.wakeSignal = &wake;
        options.messageBox = &messageBox;
        options.inputBox = &inputBox;
        options.mainWindow = ViewOptions();
        options.alertSound = &sound;
        return options;
    }

    StartupNetwork network{"10.1.2.3", 4321, false};
    std::string serverDuringCheck; // where a reconnect tick during the check would go
    std::string appliedAddress;
    std::uint16_t appliedPort = 0;
    test::FakeAlertSound sound;
    test::FakeWakeSignal wake;
};

std::string Text(QWidget& window, const char* label) {
    return window.findChild<QLabel*>(QString::fromLatin1(label))->text().toStdString();
}

class ProgramTest : public ::testing::Test {
protected:
    std::unique_ptr<Program> Start() { return std::make_unique<Program>(rig.Options()); }

    ProgramRig rig;
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
    EXPECT_FALSE(program->Session().State().FSearching);
}

TEST_F(ProgramTest, ServerAnswersReachTheWindowsThroughTheGlue) {
    auto program = Start();
    program->FrmLoginOKBottomDlg().findChild<QLineEdit*>(QStringLiteral("EditLoginID"))->setText("010-9999-0000");

    rig.socket->Feed({0x07, 0x00, 0x65, 0x01, 0x00, 0x00, 0x00}); // LoginResult 1
    program->Session().MainSockRead();
    program->Session().TimerProcessTimer();

    auto* label = program->FrmMain().findChild<QLabel*>(QStringLiteral("LabelLoginState"));
    EXPECT_EQ(label->text().toStdString(), "핸드폰접속");
    EXPECT_TRUE(program->Session().State().FLoggedIn);
    EXPECT_EQ(program->Session().State().FLoginID, "010-9999-0000");
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

TEST_F(ProgramTest, StartUpAppliesTheUpdateCheckOpensTheLinkAndLoadsTheSettings) {
    rig.WriteSettings("[config]\r\nLeft=77\r\nTop=88\r\nBoardURL=http://b/x?id=1\r\nSearchCondition=A&B\r\n");
    rig.network = {"192.0.2.7", 3100, true};
    auto program = Start();
    shell::ui::TFrmMain* window = &program->FrmMain();

    EXPECT_EQ(rig.serverDuringCheck, std::string(config::kServerAddress) + ":" + std::to_string(config::kServerPort));
    EXPECT_EQ(rig.appliedAddress, "192.0.2.7");
    EXPECT_EQ(rig.appliedPort, 3100);
    EXPECT_TRUE(program->Session().State().FUpdateInstalled);
    EXPECT_EQ(rig.socket->openCalls, 1);
    EXPECT_EQ(window->pos(), QPoint(77, 88));
    EXPECT_EQ(program->Session().State().FBoardURL, "http://b/x?id=1");
    EXPECT_EQ(Text(*window, "LabelBoardURL"), "http://b/x?id=1");
    EXPECT_EQ(Text(*window, "LabelSearchCondition"), "A&B"); // "&" is shown as it stands
    EXPECT_FALSE(program->Session().State().FBoardSet);
    EXPECT_FALSE(program->Session().State().FLoggedIn);

    // The timers run while they have work: here a packet to frame and the
    // close after the installed update.
    rig.socket->Feed({0x07, 0x00, 0x65, 0x01, 0x00, 0x00, 0x00});
    program->Session().MainSockRead();
    struct TimerCase {
        const base::ITimer& timer;
        bool active;
    } timers[] = {{program->Session().TimerProcess(), true},
                  {window->TimerReConnect(), true},
                  {window->TimerDisplay(), true},
                  {window->TimerShow(), false}};
    for (const auto& t : timers) EXPECT_EQ(t.timer.IsActive(), t.active);
}

TEST_F(ProgramTest, ShutdownSavesTheWindowPositionAndFields) {
    auto program = Start();
    program->FrmMain().move(123, 45);
    program->Session().State().FBoardURL = "http://b/y";
    program.reset();

    const std::string ini = test::TempDir::Read(rig.settingsPath);
    EXPECT_THAT(ini, ::testing::HasSubstr("Left=123"));
    EXPECT_THAT(ini, ::testing::HasSubstr("Top=45"));
    EXPECT_THAT(ini, ::testing::HasSubstr("BoardURL=http://b/y"));
}

TEST_F(ProgramTest, AHitIsKeptAcrossARestartAndTheHistoryWindowFiltersIt) {
    auto program = Start();
    program->Session().State().FBoardURL = "http://127.0.0.1:8080/bbs/zboard.php?id=share";
    program->FrmMain().MatchSearchCondition(base::Cp949FromUtf8("직거래 책상"));
    program->FrmMain().MatchSearchCondition(base::Cp949FromUtf8("직거래 의자"));
    EXPECT_EQ(rig.sound.plays, 2);
    program.reset();

    program = Start();
    program->FrmMain().findChild<QAction*>(QStringLiteral("NHistory"))->trigger();
    shell::ui::TFrmHistory& history = program->FrmHistory();
    EXPECT_TRUE(history.isVisible());
    EXPECT_EQ(history.windowTitle(), QString::fromUtf8("검색기록"));
    auto* list = history.findChild<QTreeWidget*>(QStringLiteral("ListHistory"));
    auto* filter = history.findChild<QLineEdit*>(QStringLiteral("EditFilter"));
    ASSERT_TRUE(list && filter);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QString::fromUtf8("직거래 의자"));
    EXPECT_EQ(list->topLevelItem(0)->text(2), QString::fromUtf8("직거래"));
    EXPECT_EQ(list->topLevelItem(0)->text(3), QStringLiteral("http://127.0.0.1:8080/bbs/zboard.php?id=share"));
    EXPECT_EQ(list->topLevelItem(1)->text(1), QString::fromUtf8("직거래 책상"));

    filter->setText(QString::fromUtf8("책상"));
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QString::fromUtf8("직거래 책상"));
    filter->setText(QString::fromUtf8("소파"));
    EXPECT_EQ(list->topLevelItemCount(), 0);

    // A hit while the window is open shows at once.
    program->FrmMain().MatchSearchCondition(base::Cp949FromUtf8("직거래 소파"));
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), QString::fromUtf8("직거래 소파"));
}

TEST_F(ProgramTest, ASaveThatFailsIsToldToTheUserAndTheReadOnlyFileStays) {
    rig.WriteSettings("[config]\r\nLeft=1\r\n");
    std::filesystem::permissions(rig.settingsPath, std::filesystem::perms(0444),
                                 std::filesystem::perm_options::replace);
    auto program = Start();
    program->FrmMain().move(123, 45);
    program.reset();

    EXPECT_THAT(rig.messageBox.shown, ::testing::ElementsAre("Unable to write to " + rig.settingsPath));
    EXPECT_EQ(test::TempDir::Read(rig.settingsPath), "[config]\r\nLeft=1\r\n");
    EXPECT_EQ(std::filesystem::status(rig.settingsPath).permissions(), std::filesystem::perms(0444));
}

// The real socket, wired by the program itself, against a loopback server.
TEST_F(ProgramTest, ALongOutageIsSaidInTheStatusBarAndTheTrayTipUntilTheLinkIsBack) {
    const std::string cutOff = "서버 연결 끊김 (재접속 시도 중)";
    rig.WriteSettings("[config]\r\nRepeat=600\r\n");
    auto program = Start();
    rig.socket->connected = false; // the server is down
    shell::ui::TFrmMain& window = program->FrmMain();
    program->Session().State().FBoardSet = true;
    program->Session().State().FBoardURL = "http://b/";
    window.BtnStartClick();
    window.BtnClearClick(); // hidden in the tray
    auto* tray = window.findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon"));
    ASSERT_NE(tray, nullptr);
    auto panel = [&] { return Text(window, "StatusBar1Panel1"); };

    // The start-up attempt and the first tick fail: not yet more than a period.
    rig.clock.tick = 10000;
    window.TimerReConnectTimer();
    EXPECT_EQ(panel(), "연결시도중...");
    EXPECT_EQ(tray->toolTip().toStdString(), "Quorlan");

    rig.clock.tick = 20000;
    window.TimerReConnectTimer();
    EXPECT_EQ(panel(), cutOff);
    EXPECT_EQ(tray->toolTip().toStdString(), "Quorlan - " + cutOff);
    // No check is coming: the countdown leaves the panel alone.
    for (int i = 0; i < 20; ++i) window.TimerDisplayTimer();
    EXPECT_EQ(panel(), cutOff);

    rig.socket->connecting = false;
    rig.socket->connected = true;
    program->Session().MainSockConnect();
    EXPECT_EQ(panel(), "연결됨");
    EXPECT_EQ(tray->toolTip().toStdString(), "Quorlan");
    const auto& lines = program->Session().Logs().messageList.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), base::Cp949FromUtf8("서버에 다시 연결되었습니다.")), 1);
    for (int i = 0; i < 10; ++i) window.TimerDisplayTimer();
    EXPECT_EQ(panel(), "검색예정 580초 남았습니다.");
}

TEST_F(ProgramTest, AWakeTriesTheLinkAtOnceAndTheTimerStartsItsPeriodAfresh) {
    auto program = Start();
    rig.socket->connected = false;
    ASSERT_EQ(rig.socket->openCalls, 1); // the start-up attempt, still under way
    rig.wake.Raise();
    EXPECT_EQ(rig.socket->openCalls, 2);
    EXPECT_EQ(program->Session().State().ReconnectAttempts, 1);
    EXPECT_TRUE(program->FrmMain().TimerReConnect().IsActive());
    EXPECT_EQ(program->FrmMain().TimerReConnect().IntervalMs(), 10000);

    // A connected link is left alone.
    rig.socket->connecting = false;
    rig.socket->connected = true;
    program->Session().MainSockConnect();
    rig.wake.Raise();
    EXPECT_EQ(rig.socket->openCalls, 2);

    program.reset();
    EXPECT_FALSE(rig.wake.Connected());
}

class ProgramLinkTest : public ::testing::Test {
protected:
    std::unique_ptr<Program> MakeWithRealSocket(std::uint16_t port) {
        rig.network = {"127.0.0.1", port, false};
        Program::Options options = rig.Options();
        options.socket.reset();
        options.applyServerAddress = nullptr;
        return std::make_unique<Program>(std::move(options));
    }
    bool DebugHas(Program& window, const std::string& line) {
        const auto& lines = window.Session().Logs().debugLog.Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    ProgramRig rig;
};

TEST_F(ProgramLinkTest, ConnectsToTheCheckedAddressAndSendsVersion) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    auto window = MakeWithRealSocket(server.serverPort());

    // The attempt starts from the event loop.
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 5000));
    QTcpSocket* peer = server.nextPendingConnection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 7; }, 5000));
    const QByteArray version = peer->readAll();
    EXPECT_EQ(version, QByteArray("\x07\x00\x64\x04\x00\x00\x00", 7));
    EXPECT_TRUE(DebugHas(*window, "Socket: Connect"));
    window.reset(); // closing the link while the program ends is safe
}

TEST_F(ProgramLinkTest, ARefusedConnectionIsLoggedAndClosed) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const std::uint16_t port = closed.serverPort();
    closed.close();
    auto window = MakeWithRealSocket(port);

    ASSERT_TRUE(QTest::qWaitFor([&] { return DebugHas(*window, "Socket: DisConnect"); }, 5000));
    EXPECT_TRUE(DebugHas(*window, "Socket: Socket Error: 10061"));
    EXPECT_FALSE(window->Socket().Active());
}

TEST_F(ProgramLinkTest, AServerBackAfterALongOutageIsReachedWithinOneSlowPeriodAndLoggedInAgain) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const std::uint16_t port = server.serverPort();
    server.close();
    auto program = MakeWithRealSocket(port);
    auto& dialog = program->FrmLoginOKBottomDlg();
    dialog.findChild<QCheckBox*>(QStringLiteral("CheckBoxAutoLogin"))->setChecked(true);
    dialog.findChild<QLineEdit*>(QStringLiteral("EditLoginID"))->setText("010-1234-5678");
    dialog.findChild<QLineEdit*>(QStringLiteral("EditLoginPassword"))->setText("pw");
    const auto& debug = program->Session().Logs().debugLog.Lines();
    auto disconnects = [&] { return std::count(debug.begin(), debug.end(), "Socket: DisConnect"); };

    // The start-up attempt and 150 timer attempts are refused.
    ASSERT_TRUE(QTest::qWaitFor([&] { return disconnects() == 1; }, 5000));
    shell::ui::TFrmMain& window = program->FrmMain();
    for (int attempt = 1; attempt <= 150; ++attempt) {
        rig.clock.tick = static_cast<std::uint32_t>(attempt) * 10000U;
        window.TimerReConnectTimer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return disconnects() == attempt + 1; }, 5000)) << attempt;
    }
    EXPECT_EQ(program->Session().State().ReconnectAttempts, 150);
    const int wait = window.TimerReConnect().IntervalMs();
    EXPECT_GE(wait, 45000);
    EXPECT_LE(wait, 75000);

    // The server comes back; the next tick, one slow period on, reaches it.
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, port));
    window.TimerReConnectTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 5000));
    QTcpSocket* peer = server.nextPendingConnection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 7; }, 5000));
    EXPECT_EQ(peer->read(7), QByteArray("\x07\x00\x64\x04\x00\x00\x00", 7)); // Version first
    peer->write(QByteArray("\x07\x00\x64\x01\x00\x00\x00", 7));              // VersionResult 1

    // The answer logs in again from the dialog's boxes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return peer->bytesAvailable() >= 3; }, 5000));
    const QByteArray login = peer->readAll();
    EXPECT_EQ(login.at(2), 'e');
    EXPECT_TRUE(login.contains("010-1234-5678"));
    const auto& lines = program->Session().Logs().messageList.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), base::Cp949FromUtf8("서버에 다시 연결되었습니다.")), 1);
    EXPECT_EQ(program->Session().State().ReconnectAttempts, 0);
    EXPECT_EQ(Text(window, "StatusBar1Panel1"), "연결됨");
}

} // namespace
} // namespace quorlan::app
