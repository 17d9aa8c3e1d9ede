#include "shell/ui/NamedButton.h"

#include "qt/QtText.h"

namespace quorlan::shell::ui {

QPushButton* MakeButton(QWidget* parent, const char* utf8Caption, const char* objectName) {
    auto* button = new QPushButton(qt::Caption(utf8Caption), parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoDefault(false);
    return button;
}

} // namespace quorlan::shell::ui
