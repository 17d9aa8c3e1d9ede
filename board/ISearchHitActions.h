#pragma once
#include <string>

namespace quorlan::board {

// What a search hit does on the main window. Texts are cp949 bytes.
class ISearchHitActions {
public:
    virtual ~ISearchHitActions() = default;
    // Brings the main window back and shakes it; does not wait for the user.
    // The condition is the one the line matched.
    virtual void ShowAlert(const std::string& line, const std::string& condition) = 0;
    // CheckBoxSMS ("검색시 문자발신") is ticked.
    virtual bool CheckBoxSMSChecked() const = 0;
};

} // namespace quorlan::board
