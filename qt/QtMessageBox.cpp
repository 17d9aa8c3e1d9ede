#include "qt/QtMessageBox.h"

#include "qt/QtText.h"

#include <QMessageBox>

namespace quorlan::qt {

void QtMessageBox::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quorlan"), QStringFromCp949(text), QMessageBox::Ok, parent_);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace quorlan::qt
