#pragma once
#include <string>

namespace quorlan::base {

// A modal text-input box. Returns the text entered; on cancel it returns the
// initial text. Texts are cp949 bytes.
class IInputBox {
public:
    virtual ~IInputBox() = default;
    virtual std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& initial) = 0;
};

} // namespace quorlan::base
