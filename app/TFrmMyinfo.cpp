#include "app/TFrmMyinfo.h"

#include "qt/QtText.h"

namespace quorlan::app {

TFrmMyinfo::TFrmMyinfo(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmMyinfo"));
    setWindowTitle(qt::Caption("내정보"));
    setFixedSize(kClientWidth, kClientHeight);
}

} // namespace quorlan::app
