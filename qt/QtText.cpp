#include "qt/QtText.h"

#include "base/Cp949.h"

namespace quorlan::qt {

QString QStringFromCp949(const std::string& cp949) {
    return QString::fromStdString(base::Utf8FromCp949(cp949));
}

std::string Cp949FromQString(const QString& text) {
    return base::Cp949FromUtf8(text.toStdString());
}

QString Caption(const char* utf8) {
    return QString::fromUtf8(utf8);
}

} // namespace quorlan::qt
