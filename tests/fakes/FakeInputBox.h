#pragma once
#include "base/IInputBox.h"

#include <string>
#include <vector>

namespace quorlan::test {

// An input box that records what it was shown and answers with `answer`,
// or with the initial text when `cancel` is set.
class FakeInputBox : public base::IInputBox {
public:
    struct Shown {
        std::string caption, prompt, initial;
    };
    std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& initial) override {
        shown.push_back({caption, prompt, initial});
        return cancel ? initial : answer;
    }
    std::string answer;
    bool cancel = false;
    std::vector<Shown> shown;
};

} // namespace quorlan::test
