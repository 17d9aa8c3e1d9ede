#pragma once
#include <QIcon>

namespace quorlan::shell::ui {

// The program's icon (title bars, notification area, About box), drawn once.
QIcon ProgramIcon();

} // namespace quorlan::shell::ui
