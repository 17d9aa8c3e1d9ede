#include "shell/qt/QtMessageBox.h"

#include "shell/qt/QtText.h"

#include <QMessageBox>

namespace quorlan::shell::qt {

void QtMessageBox::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quorlan"), QStringFromCp949(text), QMessageBox::Ok, parent_);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace quorlan::shell::qt
