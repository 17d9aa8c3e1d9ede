#pragma once
#include "shell/LineLog.h"

#include <QWidget>

class QPlainTextEdit;

namespace quorlan::shell::ui {

// The debug log window: a stay-on-top window whose Memo1 shows the debug log.
// The log records whether or not the window is shown; closing the window only
// hides it.
class TFrmDebug : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 280;
    static constexpr int kHeight = 310;

    // FormCreate: stands one pixel to the right of the main window, top edges
    // aligned, and shows itself when debugMode (the "Debug" setting) is set.
    TFrmDebug(LineLog& debugLog, const QWidget& mainWindow, bool debugMode, QWidget* parent = nullptr);
    ~TFrmDebug() override;

private:
    // One more line of the log; the memo's selection and view stay where they are.
    void AppendLine(bool droppedOldest, const std::string& line);

    LineLog& debugLog_;
    QPlainTextEdit* Memo1 = nullptr;
    int shownLines_ = 0;
};

} // namespace quorlan::shell::ui
