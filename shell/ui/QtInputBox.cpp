#include "shell/ui/QtInputBox.h"

#include "shell/ui/QtText.h"

#include <QInputDialog>
#include <QLineEdit>

namespace quorlan::shell::ui {

std::string QtInputBox::InputBox(const std::string& caption, const std::string& prompt, const std::string& initial) {
    QInputDialog dialog(parent_);
    dialog.setObjectName(QStringLiteral("InputBox"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(QStringFromCp949(caption));
    // The prompt is written with "&&" for one shown "&", as in a label that
    // takes keyboard accelerators; this label takes none, so undo the doubling.
    dialog.setLabelText(QStringFromCp949(prompt).replace(QStringLiteral("&&"), QStringLiteral("&")));
    dialog.setTextValue(QStringFromCp949(initial));
    if (dialog.exec() != QDialog::Accepted) return initial;
    return Cp949FromQString(dialog.textValue());
}

} // namespace quorlan::shell::ui
