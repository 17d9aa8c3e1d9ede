#include "shell/ui/QtMessageBox.h"

#include "shell/ui/QtText.h"

#include <QMessageBox>

namespace quorlan::shell::ui {

void QtMessageBox::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quorlan"), QStringFromCp949(text), QMessageBox::Ok, parent_);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace quorlan::shell::ui
