#include "shell/ui/TFrmMain.h"

#include "MainWindowRig.h"
#include "base/Cp949.h"
#include "fakes/FakeAlertSound.h"
#include "net/Codec.h"
#include "quorlan/BuildConfig.h"
#include "shell/FindRecorder.h"
#include "qt/QtTimer.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <gmock/gmock.h>

namespace quorlan::shell::ui {
namespace {

using Bytes = std::vector<std::uint8_t>;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { window = rig.Make(); }

    template <class T> T* Find(const char* name) {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    std::string Text(const char* labelOrButton) {
        if (auto* label = window->findChild<QLabel*>(QString::fromLatin1(labelOrButton))) {
            return label->text().toStdString();
        }
        return Find<QAbstractButton>(labelOrButton)->text().toStdString();
    }
    void SetBoardAccepted() {
        rig.session->State().FBoardSet = true;
        rig.session->State().FBoardURL = "http://127.0.0.1:8080/bbs/zboard.php?id=share";
    }
    // The settings controls that Start locks, as the user sees them.
    bool SettingControlsEnabled(bool expected) {
        bool same = true;
        for (const char* name : {"BtnSetLogin", "BtnSetBoard", "BtnSearchCondition"}) {
            same = same && Find<QPushButton>(name)->isEnabled() == expected;
        }
        QMenu* account = Find<QMenu>("NTLogin");
        return same && account->isEnabled() == expected && account->menuAction()->isEnabled() == expected;
    }

    test::MainWindowRig rig;
    std::unique_ptr<TFrmMain> window;
};

TEST_F(MainWindowTest, ControlsCarryTheirNamesAndCaptions) {
    struct Case {
        const char* name;
        const char* caption;
    } cases[] = {
        {"LabelLoginState", "일번접속"},    {"LabelBoardURL", ""}, // the (empty) board address from the settings
        {"LabelSearchCondition", "직거래"}, {"BtnSetLogin", "로그인"},
        {"BtnSetBoard", "게시판설정"},      {"BtnSearchCondition", "단어설정"},
        {"CheckBoxSMS", "검색시 문자발신"}, {"BtnStart", "시작"},
        {"BtnClear", "작게하기(숨기기)"},   {"StatusBar1Panel0", "현재상태"},
        {"StatusBar1Panel1", "대기"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(c.name), c.caption) << c.name;

    struct MenuCase {
        const char* name;
        const char* caption;
    } menus[] = {{"NHistory", "검색기록"}, {"NSound", "알림소리"},          {"NClose", "종료"},
                 {"NLogin", "로그인"},     {"NChangePassword", "비번변경"}, {"NNewAccount", "신규가입"},
                 {"N1", "홈페이지"},       {"NHelp", "정보+도움말"}};
    for (const auto& m : menus) EXPECT_EQ(Find<QAction>(m.name)->text().toStdString(), m.caption) << m.name;
    EXPECT_EQ(Find<QMenu>("NTLogin")->title().toStdString(), "계정(&S)");
    EXPECT_EQ(Find<QMenu>("NFile")->title().toStdString(), "파일(&F)");

    EXPECT_EQ(window->windowTitle().toStdString(), "Quorlan [Ver 0.1]");
    EXPECT_EQ(window->size(), QSize(310, 310));
    EXPECT_EQ(window->pos(), QPoint(405, 165));
    EXPECT_EQ(Find<QLabel>("LabelBoardURL")->width(), 137);
    EXPECT_EQ(Find<QLabel>("StatusBar1Panel0")->width(), 100);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->font().families().contains(QStringLiteral("NanumGothic")));
    EXPECT_EQ(window->font().pixelSize(), 11);
}

TEST_F(MainWindowTest, StartWithoutAnAcceptedBoardOpensTheBoardWindowAndSendsNothing) {
    int modalOpened = 0;
    window->SetPeers({.showBoardModal = [&] { ++modalOpened; }});
    rig.session->State().FBoardURL = "http://b/";
    rig.socket->ClearWritten();

    Find<QPushButton>("BtnStart")->click();

    EXPECT_EQ(modalOpened, 1);
    EXPECT_TRUE(rig.socket->written.empty());
    EXPECT_EQ(Text("BtnStart"), "시작");
    EXPECT_FALSE(rig.session->State().FSearching);
}

TEST_F(MainWindowTest, StartAndStopSendSearchStateAndSwitchTheControls) {
    SetBoardAccepted();
    rig.socket->ClearWritten();
    rig.clock.tick = 5000;

    Find<QPushButton>("BtnStart")->click();

    EXPECT_EQ(rig.socket->written, (Bytes{0x07, 0x00, 0x6D, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Text("BtnStart"), "검색중지");
    EXPECT_TRUE(SettingControlsEnabled(false));
    EXPECT_EQ(rig.session->State().CycleStartTime, 5000U);
    EXPECT_EQ(Text("StatusBar1Panel1"), "대기"); // left to the countdown
    auto* list = Find<QListWidget>("ListBox1");
    EXPECT_EQ(list->currentItem()->text().toStdString(), "검색을 시작했습니다.");

    window->SetStatusPanel(1, base::Cp949FromUtf8("검색예정 3초 남았습니다."));
    rig.socket->ClearWritten();
    Find<QPushButton>("BtnStart")->click();

    EXPECT_EQ(rig.socket->written, (Bytes{0x07, 0x00, 0x6D, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Text("BtnStart"), "시작");
    EXPECT_TRUE(SettingControlsEnabled(true));
    EXPECT_EQ(Text("StatusBar1Panel1"), "대기");
    EXPECT_EQ(list->currentItem()->text().toStdString(), "검색을 중지했습니다.");
}

TEST_F(MainWindowTest, CountdownShowsTheRepeatAndGoesBelowZero) {
    SetBoardAccepted();
    rig.session->State().FRepeat = 600;
    rig.clock.tick = 1000;
    window->BtnStartClick();

    for (int i = 0; i < 10; ++i) window->TimerDisplayTimer();
    EXPECT_EQ(Text("StatusBar1Panel1"), "검색예정 600초 남았습니다.");

    rig.clock.tick = 1000 + 603 * 1000;
    for (int i = 0; i < 9; ++i) window->TimerDisplayTimer();
    EXPECT_EQ(Text("StatusBar1Panel1"), "검색예정 600초 남았습니다."); // once a second only
    window->TimerDisplayTimer();
    EXPECT_EQ(Text("StatusBar1Panel1"), "검색예정 -3초 남았습니다.");
}

TEST_F(MainWindowTest, AnInstalledUpdateClosesTheWindowAtTheNextDisplayTick) {
    QSignalSpy closed(window.get(), &TFrmMain::Closed);
    window->show();
    window->TimerDisplayTimer();
    EXPECT_EQ(closed.count(), 0);

    rig.session->State().FUpdateInstalled = true;
    window->TimerDisplayTimer();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, ShakeEndsAtItsOriginEvenWithASecondAlertMidway) {
    window->show();
    window->move(200, 150);
    window->ShowAlert("line", "x");
    ASSERT_TRUE(window->TimerShow().IsActive());

    bool moved = false;
    for (int i = 0; i < 10; ++i) {
        window->TimerShowTimer();
        moved = moved || window->pos() != QPoint(200, 150);
        EXPECT_GE(window->x(), 200);
        EXPECT_LE(window->x(), 219);
        EXPECT_GE(window->y(), 150);
        EXPECT_LE(window->y(), 169);
    }
    EXPECT_TRUE(moved);
    window->ShowAlert("second line", "x"); // the window stands off its origin now
    for (int i = 0; i < 10; ++i) window->TimerShowTimer();
    EXPECT_TRUE(window->TimerShow().IsActive());
    window->TimerShowTimer(); // the 21st move
    EXPECT_EQ(window->pos(), QPoint(200, 150));
    EXPECT_FALSE(window->TimerShow().IsActive());
}

TEST_F(MainWindowTest, ResizingBelowTheMinimumSnapsBackTo310) {
    struct Case {
        QSize asked, result;
    } cases[] = {
        {{100, 100}, {310, 310}}, {{200, 500}, {310, 500}}, {{640, 120}, {640, 310}}, {{400, 400}, {400, 400}}};
    for (const auto& c : cases) {
        window->resize(c.asked);
        EXPECT_EQ(window->size(), c.result) << c.asked.width() << "x" << c.asked.height();
    }
}

TEST_F(MainWindowTest, HideToTheTrayAndRestoreWithALeftClick) {
    int debugHidden = 0;
    window->SetPeers({.hideDebugWindow = [&] { ++debugHidden; }});
    rig.session->State().FDebugMode = true;
    window->show();

    Find<QPushButton>("BtnClear")->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->TrayIconVisible());
    EXPECT_EQ(debugHidden, 1);

    for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
        window->TrayIconActivated(reason);
        EXPECT_FALSE(window->isVisible()) << reason;
    }
    window->TrayIconActivated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->TrayIconVisible());
}

TEST_F(MainWindowTest, WithoutANotificationAreaHidingMinimizesInstead) {
    rig.trayAvailable = false;
    window->show();
    window->BtnClearClick();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    EXPECT_FALSE(window->TrayIconVisible());

    window->ShowAlert("hit", "x");
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(rig.notifications.size() == 1);
}

TEST_F(MainWindowTest, AnAlertWhileHiddenRestoresNotifiesWithTheConditionAndShakes) {
    window->show();
    window->BtnClearClick();
    const std::string line = base::Cp949FromUtf8("[판매] 직거래 노트북");

    window->ShowAlert(line, base::Cp949FromUtf8("노트북"));

    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->TrayIconVisible());
    EXPECT_TRUE(window->TimerShow().IsActive());
    ASSERT_EQ(rig.notifications.size(), 1U);
    EXPECT_EQ(rig.notifications[0].toStdString(), "[판매] 직거래 노트북\n검색단어 : 노트북");
}

TEST_F(MainWindowTest, AnAlertWhileActiveOnlyShakes) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    window->ShowAlert("hit", "x");

    EXPECT_TRUE(rig.notifications.empty());
    EXPECT_TRUE(window->TimerShow().IsActive());
}

TEST_F(MainWindowTest, CommandsReachTheirWindows) {
    std::vector<std::string> calls;
    window->SetPeers({
        .showBoardModal = [&] { calls.push_back("modal"); },
        .showBoardModeless = [&] { calls.push_back("board"); },
        .showLoginPage = [&](int page) { calls.push_back("login" + std::to_string(page)); },
        .showAbout = [&] { calls.push_back("about"); },
    });
    Find<QPushButton>("BtnSetLogin")->click();
    Find<QAction>("NLogin")->trigger();
    Find<QAction>("NChangePassword")->trigger();
    Find<QAction>("NNewAccount")->trigger();
    Find<QPushButton>("BtnSetBoard")->click();
    Find<QAction>("NHelp")->trigger();
    Find<QAction>("N1")->trigger();
    EXPECT_EQ(calls, (std::vector<std::string>{"login0", "login0", "login1", "login2", "board", "about"}));
    ASSERT_EQ(rig.openedUrls.size(), 1U);
    EXPECT_EQ(rig.openedUrls[0], QUrl(QString::fromUtf8(config::kHomePageUrl)));

    QSignalSpy closed(window.get(), &TFrmMain::Closed);
    window->show();
    Find<QAction>("NClose")->trigger();
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(MainWindowTest, HistoryItemFoundLinesAndNotificationsReachTheirPeers) {
    std::vector<std::string> calls;
    window->SetPeers({
        .showHistory = [&] { calls.push_back("history"); },
        .found = [&](const std::string& line,
                     const std::string& condition) { calls.push_back("found " + line + " / " + condition); },
        .openPost = [&](const std::string& line) { calls.push_back("open " + line); },
        .showWatchList = [&] { calls.push_back("watch list"); },
    });
    Find<QAction>("NHistory")->trigger();
    Find<QAction>("NWatchList")->trigger();
    window->ShowAlert("desk lamp", "lamp");
    window->NotificationClicked();
    rig.session->Logs().AddListMessage("12:00:01 desk lamp");
    auto* list = Find<QListWidget>("ListBox1");
    QListWidgetItem* item = list->item(list->count() - 1);
    emit list->itemDoubleClicked(item);
    EXPECT_EQ(calls, (std::vector<std::string>{"history", "watch list", "found desk lamp / lamp", "open desk lamp",
                                               "open 12:00:01 desk lamp"}));
}

TEST_F(MainWindowTest, SoundItemFollowsTheSoundKeyAndIsSavedAtShutdown) {
    rig.WriteSettings("[config]\r\nSound=0\r\n");
    window.reset();
    window = rig.Make();
    QAction* sound = Find<QAction>("NSound");
    EXPECT_TRUE(sound->isCheckable());
    EXPECT_FALSE(sound->isChecked());
    EXPECT_FALSE(rig.session->State().FSound);

    sound->trigger();
    EXPECT_TRUE(rig.session->State().FSound);
    rig.session->SaveSettings(window->Placement());
    EXPECT_NE(test::TempDir::Read(rig.settingsPath).find("Sound=1\r\n"), std::string::npos);

    sound->trigger();
    rig.session->SaveSettings(window->Placement());
    window.reset();
    window = rig.Make();
    EXPECT_FALSE(Find<QAction>("NSound")->isChecked());
}

TEST_F(MainWindowTest, AnUnwritableHistoryStillAlertsAndSoundsAndIsToldOnce) {
    std::filesystem::create_directory(rig.dir.File("QuorlanHistory.db"));
    test::FakeAlertSound sound;
    FindRecorder recorder(rig.session->State(), rig.session->History(), sound);
    window->SetPeers(
        {.found = [&](const std::string& line, const std::string& condition) { recorder.Found(line, condition); }});

    window->MatchSearchCondition(base::Cp949FromUtf8("직거래 모니터"));
    window->MatchSearchCondition(base::Cp949FromUtf8("직거래 의자"));

    EXPECT_TRUE(window->TimerShow().IsActive());
    EXPECT_EQ(sound.plays, 2);
    const auto& lines = rig.session->Logs().messageList.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), base::Cp949FromUtf8("검색기록을 저장할 수 없습니다.")), 1);
}

TEST_F(MainWindowTest, SearchWordsButtonSetsTheLabelThroughTheInputBox) {
    rig.inputBox.answer = base::Cp949FromUtf8("노트북&충전기");
    Find<QPushButton>("BtnSearchCondition")->click();
    EXPECT_EQ(Text("LabelSearchCondition"), "노트북&충전기");
    EXPECT_EQ(rig.session->State().FSearchCondition, base::Cp949FromUtf8("노트북&충전기"));

    rig.inputBox.answer = "ab";
    window->BtnSearchConditionClick();
    EXPECT_EQ(Text("LabelSearchCondition"), "노트북&충전기");
    ASSERT_EQ(rig.messageBox.shown.size(), 1U);
    EXPECT_EQ(base::Utf8FromCp949(rig.messageBox.shown[0]), "한글자이상 검색가능합니다.");
}

TEST_F(MainWindowTest, AForwardedPostThatMatchesAlertsAndAsksForATextMessage) {
    rig.session->State().FLoggedIn = true;
    Find<QCheckBox>("CheckBoxSMS")->setChecked(true);
    rig.socket->ClearWritten();

    window->MatchSearchCondition(base::Cp949FromUtf8("직거래 ab"));

    EXPECT_TRUE(window->TimerShow().IsActive());
    // RequestPhone ('l'): the line in cp949 and its NUL, 13 bytes in all.
    const Bytes expected = {0x0D, 0x00, 0x6C, 0xC1, 0xF7, 0xB0, 0xC5, 0xB7, 0xA1, 0x20, 0x61, 0x62, 0x00};
    EXPECT_EQ(rig.socket->written, expected);
}

TEST_F(MainWindowTest, ReconnectTimerRunsOnAtThePaceTheSessionGives) {
    rig.socket->connected = false;
    for (int i = 0; i < 99; ++i) window->TimerReConnectTimer();
    EXPECT_EQ(window->TimerReConnect().IntervalMs(), 10000);
    window->TimerReConnectTimer();
    EXPECT_TRUE(window->TimerReConnect().IsActive());
    EXPECT_EQ(window->TimerReConnect().IntervalMs(), 45000 + 19); // the first scripted draw
    EXPECT_EQ(rig.session->State().ReconnectAttempts, 100);
}

TEST_F(MainWindowTest, DisplayTimerRunsOnlyWhileMonitoring) {
    EXPECT_FALSE(window->TimerDisplay().IsActive());
    SetBoardAccepted();
    window->BtnStartClick();
    EXPECT_TRUE(window->TimerDisplay().IsActive());
    window->BtnStartClick();
    window->TimerDisplayTimer();
    EXPECT_FALSE(window->TimerDisplay().IsActive());
}

TEST_F(MainWindowTest, MessageListKeeps1001LinesAndSelectsTheNewest) {
    auto* list = Find<QListWidget>("ListBox1");
    for (int i = 1; i <= 1000; ++i) rig.session->Logs().AddListMessage("line " + std::to_string(i));
    EXPECT_EQ(list->count(), 1000);
    rig.session->Logs().AddListMessage("line 1001");
    EXPECT_EQ(list->count(), 1001);
    EXPECT_EQ(list->item(0)->text().toStdString(), "line 1");
    rig.session->Logs().AddListMessage("line 1002");
    EXPECT_EQ(list->count(), 1001);
    EXPECT_EQ(list->item(0)->text().toStdString(), "line 2");
    EXPECT_EQ(list->currentRow(), 1000);
    EXPECT_EQ(list->currentItem()->text().toStdString(), "line 1002");
    EXPECT_EQ(list->selectedItems().size(), 1);
}

} // namespace
} // namespace quorlan::shell::ui
