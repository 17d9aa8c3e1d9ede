#include "qt/QtInputBox.h"

#include "qt/QtText.h"

#include <QInputDialog>
#include <QLineEdit>

namespace quorlan::qt {

std::string QtInputBox::InputBox(const std::string& caption, const std::string& prompt, const std::string& initial) {
    QInputDialog dialog(parent_);
    dialog.setObjectName(QStringLiteral("InputBox"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(QStringFromCp949(caption));
    // The prompt's label is the buddy of the edit, so it takes "&" as an
    // accelerator mark and shows a doubled "&&" as one "&", as the prompt expects.
    dialog.setLabelText(QStringFromCp949(prompt));
    dialog.setTextValue(QStringFromCp949(initial));
    if (dialog.exec() != QDialog::Accepted) return initial;
    return Cp949FromQString(dialog.textValue());
}

} // namespace quorlan::qt
