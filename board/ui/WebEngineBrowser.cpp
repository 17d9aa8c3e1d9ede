#include "board/ui/WebEngineBrowser.h"

#include "base/Cp949.h"

#include <QUrl>
#include <utility>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace quorlan::board {

namespace {

// null when the document has no body yet (nothing loaded, or a frameset).
const QString kBodyMarkupScript = QStringLiteral("document.body ? document.body.innerHTML : null");

} // namespace

WebEngineBrowser::WebEngineBrowser(QWebEngineView& view, std::string homeUrl)
    : view_(view), homeUrl_(std::move(homeUrl)) {}

WebEngineBrowser::~WebEngineBrowser() = default;

void WebEngineBrowser::Navigate(const std::string& url) {
    // Addresses typed without a scheme ("example.com/bbs") are completed the
    // way a browser's address field does it.
    view_.setUrl(QUrl::fromUserInput(QString::fromUtf8(base::Utf8FromCp949(url))));
}

void WebEngineBrowser::GoHome() {
    Navigate(homeUrl_);
}

std::string WebEngineBrowser::LocationURL() const {
    return base::Cp949FromUtf8(view_.url().toString(QUrl::FullyEncoded).toStdString());
}

void WebEngineBrowser::ReadBodyMarkup(MarkupCallback done) {
    const std::uint64_t id = ++nextRead_;
    readsInFlight_.emplace(id, std::move(done));
    std::weak_ptr<int> alive = alive_;
    // The engine calls back on the UI thread; while the page is being
    // destroyed it calls back with an invalid value, which reads as "no
    // document".
    view_.page()->runJavaScript(kBodyMarkupScript, QWebEngineScript::ApplicationWorld,
                                [this, alive, id](const QVariant& result) {
                                    if (alive.expired()) return;
                                    if (result.typeId() != QMetaType::QString) {
                                        Answer(id, std::nullopt);
                                        return;
                                    }
                                    Answer(id, base::Cp949FromUtf8(result.toString().toStdString()));
                                });
}

void WebEngineBrowser::Answer(std::uint64_t id, std::optional<std::string> markup) {
    auto found = readsInFlight_.find(id);
    if (found == readsInFlight_.end()) return; // already answered as failed
    MarkupCallback done = std::move(found->second);
    readsInFlight_.erase(found);
    done(std::move(markup));
}

void WebEngineBrowser::FailReadsInFlight() {
    // Answered in the order asked; an answer may ask for a new read, which
    // belongs to the next renderer and stays.
    std::map<std::uint64_t, MarkupCallback> failed = std::exchange(readsInFlight_, {});
    for (auto& [id, done] : failed) done(std::nullopt);
}

} // namespace quorlan::board
