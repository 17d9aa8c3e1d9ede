#pragma once
#include <QPushButton>

namespace quorlan::shell::ui {

// A push button of a shell window: its caption (UTF-8 as the source writes
// it), its objectName, and no default-button behaviour (Enter in an edit
// presses nothing).
QPushButton* MakeButton(QWidget* parent, const char* utf8Caption, const char* objectName);

} // namespace quorlan::shell::ui
