#pragma once
#include <QString>
#include <string>

namespace quorlan::qt {

// The Qt boundary: every text inside the program is cp949 bytes, every text a
// widget holds is a QString.
QString QStringFromCp949(const std::string& cp949);
std::string Cp949FromQString(const QString& text);
// A fixed caption as the source writes it (UTF-8): the one way a window's own
// Korean texts reach its widgets.
QString Caption(const char* utf8);

} // namespace quorlan::qt
