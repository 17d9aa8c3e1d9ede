#pragma once
#include <string>

namespace quorlan::base {

// A modal message box. The real one runs a nested event loop until the user
// closes it; tests record the texts. Texts are cp949 bytes.
class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};

} // namespace quorlan::base
