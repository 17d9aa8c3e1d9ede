#include "shell/ui/TFrmWatchList.h"

#include "base/Cp949.h"
#include "fakes/RecordingLogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <gtest/gtest.h>

namespace quorlan::shell::ui {
namespace {

std::string Cp(const char* utf8) {
    return base::Cp949FromUtf8(utf8);
}

class WatchListWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.FSearchCondition = Cp("직거래");
        state.FExclude = {Cp("삽니다")};
        state.FWatchList = {{Cp("맥북"), {Cp("구매")}, false}};
        window.show();
    }

    template <class T> T* Find(const char* name) {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void Type(const char* edit, const char* utf8) {
        auto* box = Find<QLineEdit>(edit);
        box->clear();
        // Key events carry ASCII only; Korean arrives as an input method commits it.
        const QString text = QString::fromUtf8(utf8);
        if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
            QTest::keyClicks(box, text);
        } else {
            box->insert(text);
        }
    }
    QTreeWidget* List() { return Find<QTreeWidget>("ListWatch"); }
    std::string Cell(int row, int column) { return List()->topLevelItem(row)->text(column).toStdString(); }

    client::ClientState state;
    test::RecordingMessageBox box;
    TFrmWatchList window{state, box};
};

TEST_F(WatchListWindowTest, ShowsTheMainConditionAndTheListWithTheirWordsToLeaveOut) {
    EXPECT_EQ(window.windowTitle().toStdString(), "검색단어 목록");
    EXPECT_EQ(Find<QLabel>("LabelSearchCondition")->text().toStdString(), "직거래");
    EXPECT_EQ(Find<QLineEdit>("EditExclude")->text().toStdString(), "삽니다");
    ASSERT_EQ(List()->topLevelItemCount(), 1);
    EXPECT_EQ(Cell(0, 0), "맥북");
    EXPECT_EQ(Cell(0, 1), "구매");
    EXPECT_EQ(List()->topLevelItem(0)->checkState(0), Qt::Checked);
    for (const char* name : {"EditWatchCondition", "EditWatchExclude"}) Find<QLineEdit>(name);
    for (const char* name : {"BtnSetExclude", "BtnAdd", "BtnEdit", "BtnRemove", "BtnClose"}) Find<QPushButton>(name);
}

TEST_F(WatchListWindowTest, AddsEditsSwitchesAndRemovesRefusingWhatTheDialogRefuses) {
    Type("EditWatchCondition", "ab");
    Find<QPushButton>("BtnAdd")->click();
    EXPECT_EQ(box.shown, std::vector<std::string>{Cp("한글자이상 검색가능합니다.")});
    EXPECT_EQ(List()->topLevelItemCount(), 1);

    Type("EditWatchCondition", "아이폰&미개봉");
    Type("EditWatchExclude", "품절, 삽니다");
    Find<QPushButton>("BtnAdd")->click();
    ASSERT_EQ(state.FWatchList.size(), 2u);
    EXPECT_EQ(state.FWatchList[1], (client::WatchEntry{Cp("아이폰&미개봉"), {Cp("품절"), Cp("삽니다")}, false}));
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(Cell(1, 1), "품절,삽니다");

    // The tick is the switch.
    List()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_TRUE(state.FWatchList[0].off);

    // Choosing a row puts it in the edits; a refused edit changes nothing.
    List()->setCurrentItem(List()->topLevelItem(1));
    EXPECT_EQ(Find<QLineEdit>("EditWatchCondition")->text().toStdString(), "아이폰&미개봉");
    box.shown.clear();
    Type("EditWatchCondition", "a&b+c");
    Find<QPushButton>("BtnEdit")->click();
    EXPECT_EQ(box.shown, std::vector<std::string>{Cp("검색조합은 1개만 사용가능합니다.")});
    EXPECT_EQ(state.FWatchList[1].condition, Cp("아이폰&미개봉"));
    Type("EditWatchCondition", "RTX+GTX");
    Find<QPushButton>("BtnEdit")->click();
    EXPECT_EQ(state.FWatchList[1].condition, "RTX+GTX");
    EXPECT_EQ(Cell(1, 0), "RTX+GTX");

    List()->setCurrentItem(List()->topLevelItem(0));
    Find<QPushButton>("BtnRemove")->click();
    ASSERT_EQ(state.FWatchList.size(), 1u);
    EXPECT_EQ(state.FWatchList[0].condition, "RTX+GTX");
    EXPECT_EQ(List()->topLevelItemCount(), 1);

    Type("EditExclude", "구매,  품절");
    Find<QPushButton>("BtnSetExclude")->click();
    EXPECT_EQ(state.FExclude, (std::vector<std::string>{Cp("구매"), Cp("품절")}));

    Find<QPushButton>("BtnClose")->click();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(WatchListWindowTest, ShowingAgainReadsTheStateAfresh) {
    window.hide();
    state.FSearchCondition = "bike";
    state.FWatchList.push_back({"lamp", {}, true});
    window.show();
    EXPECT_EQ(Find<QLabel>("LabelSearchCondition")->text().toStdString(), "bike");
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(List()->topLevelItem(1)->checkState(0), Qt::Unchecked);
}

} // namespace
} // namespace quorlan::shell::ui
