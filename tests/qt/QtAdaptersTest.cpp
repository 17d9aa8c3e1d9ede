#include "base/Cp949.h"
#include "fakes/RecordingLogs.h"
#include "qt/QtAlertSound.h"
#include "qt/QtInputBox.h"
#include "qt/QtMessageBox.h"
#include "qt/QtTimer.h"
#include "qt/SystemClock.h"

#include <QApplication>
#include <QAudioDevice>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <gtest/gtest.h>

namespace quorlan::qt {
namespace {

// Runs `answer` on the modal dialog of type T once it is up.
template <class T> void WhenModalShows(std::function<void(T&)> answer) {
    QTimer::singleShot(0, [answer] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<T*>(widget); dialog && dialog->isVisible()) {
                answer(*dialog);
                return;
            }
        }
        ADD_FAILURE() << "no modal dialog";
    });
}

const std::string kPrompt = base::Cp949FromUtf8("검색단어를 입력하세요. &&, + 사용가능)  ");

TEST(QtInputBoxTest, ShowsCaptionAndPromptAndReturnsTheTypedText) {
    QString caption, prompt;
    bool labelHasBuddy = false;
    WhenModalShows<QInputDialog>([&](QInputDialog& dialog) {
        caption = dialog.windowTitle();
        prompt = dialog.labelText();
        // A label with a buddy shows "&&" as one "&".
        auto* label = dialog.findChild<QLabel*>();
        labelHasBuddy = label && label->buddy() != nullptr;
        auto* edit = dialog.findChild<QLineEdit*>();
        edit->setText(QString::fromUtf8("노트북"));
        dialog.accept();
    });
    const std::string typed =
        QtInputBox().InputBox(base::Cp949FromUtf8("검색 단어 설정"), kPrompt, base::Cp949FromUtf8("직거래"));
    EXPECT_EQ(base::Utf8FromCp949(typed), "노트북");
    EXPECT_EQ(caption.toStdString(), "검색 단어 설정");
    EXPECT_EQ(prompt.toStdString(), "검색단어를 입력하세요. &&, + 사용가능)  ");
    EXPECT_TRUE(labelHasBuddy);
}

TEST(QtInputBoxTest, CancelReturnsTheInitialText) {
    QString shownInitial;
    WhenModalShows<QInputDialog>([&](QInputDialog& dialog) {
        shownInitial = dialog.textValue();
        dialog.findChild<QLineEdit*>()->setText(QStringLiteral("typed then cancelled"));
        dialog.reject();
    });
    const std::string initial = base::Cp949FromUtf8("직거래");
    EXPECT_EQ(QtInputBox().InputBox("c", kPrompt, initial), initial);
    EXPECT_EQ(shownInitial.toStdString(), "직거래");
}

TEST(QtMessageBoxTest, ShowsTheTextModallyUntilClosed) {
    QString text;
    WhenModalShows<QMessageBox>([&](QMessageBox& box) {
        text = box.text();
        box.button(QMessageBox::Ok)->click();
    });
    QtMessageBox().ShowMessage(base::Cp949FromUtf8("새번호 확인이 틀립니다."));
    EXPECT_EQ(text.toStdString(), "새번호 확인이 틀립니다.");
}

TEST(QtTimerTest, CallsItsHandlerOnEveryTickAndSingleShotStops) {
    int repeating = 0;
    int once = 0;
    QtTimer every(1, false, [&] { ++repeating; });
    QtTimer single(1, true, [&] { ++once; });
    EXPECT_FALSE(every.IsActive());
    every.Start();
    single.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return repeating >= 3 && once == 1; }, 5000));
    EXPECT_TRUE(every.IsActive());
    EXPECT_FALSE(single.IsActive());
    every.Stop();
    EXPECT_FALSE(every.IsActive());
    EXPECT_EQ(single.IntervalMs(), 1);
    EXPECT_TRUE(single.SingleShot());
}

struct TimeFormatCase {
    QLocale locale;
    const char* time; // 15:04:05, UTF-8
};
class LongTimeFormat : public testing::TestWithParam<TimeFormatCase> {};

TEST_P(LongTimeFormat, IsTheLocalesLongFormatWithoutTheTimeZone) {
    const QString format = SystemClock::LongTimeFormat(GetParam().locale);
    EXPECT_EQ(GetParam().locale.toString(QTime(15, 4, 5), format), QString::fromUtf8(GetParam().time)) << format.toStdString();
}
INSTANTIATE_TEST_SUITE_P(SystemClockTest, LongTimeFormat,
                         testing::Values(TimeFormatCase{QLocale::c(), "15:04:05"},
                                         TimeFormatCase{QLocale(QLocale::Korean, QLocale::SouthKorea), "오후 3시 4분 5초"},
                                         TimeFormatCase{QLocale(QLocale::English, QLocale::UnitedStates), "3:04:05 PM"}));

TEST(SystemClockTest, LongTimeIsCp949AndTheTickWrapsUnsigned) {
    SystemClock clock;
    const std::string time = clock.LongTimeNow();
    EXPECT_FALSE(time.empty());
    EXPECT_EQ(base::Cp949FromUtf8(base::Utf8FromCp949(time)), time);
    const std::uint32_t first = clock.TickMs();
    EXPECT_LT(clock.TickMs() - first, 1000U); // unsigned difference: right across the wrap too
}

TEST(QtAlertSound, ABuildFindsTheSourceTreesSound) {
    const QString file = QtAlertSound::FindSoundFile();
    EXPECT_TRUE(file.endsWith(QStringLiteral("/data/alert.wav"))) << file.toStdString();
    EXPECT_TRUE(QFileInfo::exists(file));
}

TEST(QtAlertSound, WithoutASoundDeviceOrFileNothingPlaysAndItIsLoggedOnce) {
    struct Case {
        const char* name;
        QString file;
        bool needsNoDevice;
    };
    const Case cases[] = {
        {"no file", QString(), false},
        {"no device", QtAlertSound::FindSoundFile(), true},
    };
    for (const Case& c : cases) {
        if (c.needsNoDevice && !QMediaDevices::audioOutputs().isEmpty()) continue; // this machine can play
        test::RecordingLogs logs;
        QtAlertSound sound(c.file, logs);
        sound.Play();
        sound.Play();
        QTest::qWait(50);
        EXPECT_EQ(logs.debug.size(), 1u) << c.name;
        EXPECT_TRUE(logs.messages.empty()) << c.name;
    }
}

} // namespace
} // namespace quorlan::qt
