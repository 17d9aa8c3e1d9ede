#include "shell/ui/TFrmDebug.h"

#include "shell/LineLog.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <gtest/gtest.h>

namespace quorlan::shell::ui {
namespace {

class DebugWindowTest : public ::testing::Test {
protected:
    DebugWindowTest() {
        mainWindow.resize(310, 310);
        mainWindow.move(405, 165);
    }
    QPlainTextEdit* Memo(TFrmDebug& window) { return window.findChild<QPlainTextEdit*>(QStringLiteral("Memo1")); }
    static QStringList Lines(QPlainTextEdit* memo) { return memo->toPlainText().split(QChar('\n')); }

    QWidget mainWindow;
    LineLog log;
};

TEST_F(DebugWindowTest, StandsBesideTheMainWindowAndShowsOnlyInDebugMode) {
    for (bool debugMode : {false, true}) {
        TFrmDebug window(log, mainWindow, debugMode);
        EXPECT_EQ(window.pos(), QPoint(405 + 310 + 1, 165));
        EXPECT_EQ(window.size(), QSize(280, 310));
        EXPECT_EQ(window.isVisible(), debugMode);
        EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Debug"));
        ASSERT_NE(Memo(window), nullptr);
        EXPECT_TRUE(Memo(window)->isReadOnly());
    }
}

TEST_F(DebugWindowTest, ClosingOnlyHidesAndTheLogGoesOn) {
    log.Append("before");
    TFrmDebug window(log, mainWindow, true);
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    log.Append("after");
    EXPECT_EQ(Lines(Memo(window)), QStringList({"before", "after"}));
}

TEST_F(DebugWindowTest, MemoKeeps1001LinesWithoutMovingTheSelection) {
    TFrmDebug window(log, mainWindow, false);
    QPlainTextEdit* memo = Memo(window);
    for (int i = 1; i <= 1000; ++i) log.Append("line " + std::to_string(i));
    EXPECT_EQ(memo->blockCount(), 1000);

    // The user selected line 500.
    QTextCursor selection(memo->document()->findBlockByNumber(499));
    selection.select(QTextCursor::LineUnderCursor);
    memo->setTextCursor(selection);
    ASSERT_EQ(memo->textCursor().selectedText(), QStringLiteral("line 500"));

    log.Append("line 1001");
    EXPECT_EQ(memo->blockCount(), 1001);
    EXPECT_EQ(memo->document()->firstBlock().text(), QStringLiteral("line 1"));
    log.Append("line 1002");
    log.Append("line 1003");
    EXPECT_EQ(memo->blockCount(), 1001);
    EXPECT_EQ(memo->document()->firstBlock().text(), QStringLiteral("line 3"));
    EXPECT_EQ(memo->document()->lastBlock().text(), QStringLiteral("line 1003"));
    EXPECT_EQ(memo->textCursor().selectedText(), QStringLiteral("line 500"));

    const QStringList lines = Lines(memo);
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(log.Size()));
    for (std::size_t i = 0; i < log.Size(); ++i)
        EXPECT_EQ(lines[static_cast<qsizetype>(i)].toStdString(), log.Lines()[i]);
}

} // namespace
} // namespace quorlan::shell::ui
