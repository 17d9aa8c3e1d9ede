#pragma once
#include "board/IBrowser.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorlan::test {

// A browser control whose page markup is set by the test. With answerAtOnce
// a read is answered inside ReadBodyMarkup; otherwise it is queued in
// pendingReads and the test answers it with Answer(i, markup).
class FakeBrowser : public board::IBrowser {
public:
    void Navigate(const std::string& url) override {
        navigations.push_back(url);
        location = url;
    }
    void GoHome() override { ++goHomeCalls; }
    std::string LocationURL() const override { return location; }
    void ReadBodyMarkup(MarkupCallback done) override {
        ++reads;
        if (answerAtOnce) {
            done(markup);
        } else {
            pendingReads.push_back(std::move(done));
        }
    }
    void Answer(std::size_t index, std::optional<std::string> answer) { pendingReads.at(index)(std::move(answer)); }

    std::optional<std::string> markup;
    bool answerAtOnce = true;
    std::vector<MarkupCallback> pendingReads;
    std::vector<std::string> navigations;
    std::string location;
    int goHomeCalls = 0;
    int reads = 0;
};

} // namespace quorlan::test
