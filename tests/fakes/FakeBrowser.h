#pragma once
#include "board/IBrowser.h"
#include "board/MarkupLinks.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorlan::test {

// A browser control whose page markup is set by the test; its links are
// collected from the markup as from a page read without a browser, against
// the address shown (or http://board.example/ before any navigation). With
// answerAtOnce a read is answered inside ReadPageLinks; otherwise it is
// queued in pendingReads and the test answers it with Answer(i, markup).
class FakeBrowser : public board::IBrowser {
public:
    void Navigate(const std::string& url) override {
        navigations.push_back(url);
        location = url;
    }
    void GoHome() override { ++goHomeCalls; }
    std::string LocationURL() const override { return location; }
    void ReadPageLinks(LinksCallback done) override {
        ++reads;
        if (answerAtOnce) {
            done(Links(markup));
        } else {
            pendingReads.push_back(std::move(done));
        }
    }
    void Answer(std::size_t index, const std::optional<std::string>& answer) { pendingReads.at(index)(Links(answer)); }

    std::optional<std::string> markup;
    bool answerAtOnce = true;
    std::vector<LinksCallback> pendingReads;
    std::vector<std::string> navigations;
    std::string location;
    int goHomeCalls = 0;
    int reads = 0;

private:
    std::optional<std::vector<board::LinkRecord>> Links(const std::optional<std::string>& page) const {
        if (!page) return std::nullopt;
        return board::CollectMarkupLinks(*page, location.empty() ? "http://board.example/" : location);
    }
};

} // namespace quorlan::test
