#pragma once
#include "base/IInputBox.h"

class QWidget;

namespace quorlan::qt {

// A modal one-line text input. Cancel (or closing the box) returns the initial
// text, as the input box always has.
class QtInputBox : public base::IInputBox {
public:
    explicit QtInputBox(QWidget* parent = nullptr) : parent_(parent) {}
    // The window the box stands over; it may come after the box.
    void SetParent(QWidget* parent) { parent_ = parent; }
    std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& initial) override;

private:
    QWidget* parent_;
};

} // namespace quorlan::qt
