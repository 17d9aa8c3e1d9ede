#pragma once
#include <QString>
#include <string>

namespace quorlan::shell::ui {

// The Qt boundary: every text inside the program is cp949 bytes, every text a
// widget holds is a QString.
QString QStringFromCp949(const std::string& cp949);
std::string Cp949FromQString(const QString& text);

} // namespace quorlan::shell::ui
