#pragma once
#include "base/IMessageBox.h"

class QWidget;

namespace quorlan::qt {

// A modal message box with the program's title and an OK button; returns when
// the user closes it (the event loop runs meanwhile).
class QtMessageBox : public base::IMessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
    // The window the box stands over; it may come after the box.
    void SetParent(QWidget* parent) { parent_ = parent; }
    void ShowMessage(const std::string& text) override;

private:
    QWidget* parent_;
};

} // namespace quorlan::qt
