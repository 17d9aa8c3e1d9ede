#pragma once
#include <QDialog>

class QListWidget;

namespace quorlan::app {

// "정보+도움말": the product's name and version, a contact line and the usage
// text; OK closes it. Fixed size, centred on the screen, shown modally.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 338;
    static constexpr int kClientHeight = 395;

    explicit TAboutBox(QWidget* parent = nullptr);

    // The usage text, one list line each (UTF-8 for Qt).
    static QStringList UsageLines();

    // Shows the box modally (centred on the screen) until OK or close.
    int ShowModal();
};

} // namespace quorlan::app
