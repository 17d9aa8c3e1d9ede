#include "app/TFrmMyinfo.h"

#include "shell/qt/QtText.h"

namespace quorlan::app {

TFrmMyinfo::TFrmMyinfo(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmMyinfo"));
    setWindowTitle(shell::qt::Caption("내정보"));
    setFixedSize(kClientWidth, kClientHeight);
}

} // namespace quorlan::app
