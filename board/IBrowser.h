#pragma once
#include <functional>
#include <optional>
#include <string>

namespace quorlan::board {

// The board window's browser control as the logic uses it. URLs and markup
// are cp949 bytes.
class IBrowser {
public:
    virtual ~IBrowser() = default;
    virtual void Navigate(const std::string& url) = 0;
    virtual void GoHome() = 0;
    virtual std::string LocationURL() const = 0;
    // Reads the body markup ("document.body.innerHTML") of the document shown
    // now, converted to cp949 (characters without a cp949 form become "?").
    // The answer may come later (the engine is asynchronous) but always on the
    // UI thread; it is empty (nullopt) when no document can be read.
    using MarkupCallback = std::function<void(std::optional<std::string> markup)>;
    virtual void ReadBodyMarkup(MarkupCallback done) = 0;
};

} // namespace quorlan::board
