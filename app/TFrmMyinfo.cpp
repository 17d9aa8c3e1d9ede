#include "app/TFrmMyinfo.h"

namespace quorlan::app {

TFrmMyinfo::TFrmMyinfo(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmMyinfo"));
    setWindowTitle(QString::fromUtf8("내정보"));
    setFixedSize(kClientWidth, kClientHeight);
}

} // namespace quorlan::app
