#include "shell/ui/TFrmDebug.h"

#include "shell/ui/ProgramIcon.h"
#include "qt/QtText.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace quorlan::shell::ui {

TFrmDebug::TFrmDebug(LineLog& debugLog, const QWidget& mainWindow, bool debugMode, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), debugLog_(debugLog) {
    setObjectName(QStringLiteral("FrmDebug"));
    setWindowTitle(QStringLiteral("Debug"));
    setWindowIcon(ProgramIcon());
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("NanumGothic")});
    font.setPixelSize(11);
    setFont(font);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);

    for (const auto& line : debugLog_.Lines()) AppendLine(false, line);
    debugLog_.SetObserver([this](bool droppedOldest, const std::string& line) { AppendLine(droppedOldest, line); });

    // Qt places a top-level window by its frame, as the settings do; the main
    // window's width is its own (the window manager's frame is not ours to know).
    resize(kWidth, kHeight);
    move(mainWindow.x() + mainWindow.width() + 1, mainWindow.y());
    if (debugMode) show();
}

TFrmDebug::~TFrmDebug() {
    debugLog_.SetObserver({});
}

void TFrmDebug::AppendLine(bool droppedOldest, const std::string& line) {
    // A cursor of our own edits the document, so the memo's cursor (its
    // selection) and its scroll position are left alone.
    QTextCursor cursor(Memo1->document());
    if (droppedOldest && shownLines_ > 0) {
        if (shownLines_ == 1) {
            cursor.select(QTextCursor::Document);
        } else {
            cursor.movePosition(QTextCursor::Start);
            cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        }
        cursor.removeSelectedText();
        --shownLines_;
    }
    cursor.movePosition(QTextCursor::End);
    if (shownLines_ > 0) cursor.insertBlock();
    cursor.insertText(qt::QStringFromCp949(line));
    ++shownLines_;
}

} // namespace quorlan::shell::ui
