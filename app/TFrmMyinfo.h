#pragma once
#include <QDialog>

namespace quorlan::app {

// "내정보": an empty fixed-size dialog kept for the window order; nothing
// opens it.
class TFrmMyinfo : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 390;
    static constexpr int kClientHeight = 214;

    explicit TFrmMyinfo(QWidget* parent = nullptr);
};

} // namespace quorlan::app
