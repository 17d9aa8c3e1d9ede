#pragma once
#include "PagePosts.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorlan::board {

// The board window's browser control as the logic uses it. URLs are cp949
// bytes.
class IBrowser {
public:
    virtual ~IBrowser() = default;
    virtual void Navigate(const std::string& url) = 0;
    virtual void GoHome() = 0;
    virtual std::string LocationURL() const = 0;
    // Reads the links of the document shown now (and of its same-origin
    // frames) as records, in document order (see LinkRecord). The answer may
    // come later (the engine is asynchronous) but always on the UI thread; it
    // is nullopt when no document can be read.
    using LinksCallback = std::function<void(std::optional<std::vector<LinkRecord>> links)>;
    virtual void ReadPageLinks(LinksCallback done) = 0;
};

} // namespace quorlan::board
