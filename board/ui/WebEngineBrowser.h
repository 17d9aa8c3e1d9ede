#pragma once
#include "board/IBrowser.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class QWebEngineView;

namespace quorlan::board {

// The board window's browser control (a QWebEngineView) as the check cycle
// uses it. Addresses are cp949 inside the program and QUrl at the engine;
// the page's links come back asynchronously from the engine's script world
// of the application, out of reach of the page's own scripts.
class WebEngineBrowser : public IBrowser {
public:
    WebEngineBrowser(QWebEngineView& view, std::string homeUrl);
    ~WebEngineBrowser() override;
    WebEngineBrowser(const WebEngineBrowser&) = delete;
    WebEngineBrowser& operator=(const WebEngineBrowser&) = delete;

    void Navigate(const std::string& url) override;
    void GoHome() override;
    // The top-level address, fully percent-encoded (so it is plain ASCII and
    // every client writes the same address of the same page).
    std::string LocationURL() const override;
    // Answers nullopt when there is no document (or the page goes away
    // before it answers); no answer at all once this adapter is gone.
    void ReadPageLinks(LinksCallback done) override;
    // The renderer process ended: every read still waiting is answered as
    // "no document" now, since the engine may never answer it.
    void FailReadsInFlight();

private:
    void Answer(std::uint64_t id, std::optional<std::vector<LinkRecord>> links);

    QWebEngineView& view_;
    std::string homeUrl_;
    std::uint64_t nextRead_ = 0;
    std::map<std::uint64_t, LinksCallback> readsInFlight_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace quorlan::board
