#include "board/ui/WebEngineBrowser.h"

#include "base/Cp949.h"

#include <QStringList>
#include <QVariantList>

#include <algorithm>

#include <QUrl>
#include <utility>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace quorlan::board {

namespace {

// The links of the document and of its same-origin frames, in document order,
// as three lists of equal length: hrefs (the addresses the browser resolved),
// texts (each link's text content without scripts and styles) and paths (each
// element's index among its parent's child elements from the document down,
// one UTF-16 code unit an index, capped below the surrogates; a frame's
// document continues the path of its frame element). Flat lists of strings
// cross to the application in a fraction of the time nested lists take on a
// large page. Addresses starting with "#" and addresses other than http and
// https are left out, and so is whatever lies inside "noscript" or deeper than
// 512 elements. null when the document has no body (nothing loaded, or not an
// HTML page). board/MarkupLinks collects the same records from markup; a
// change here belongs there too.
const QString kPageLinksScript = QStringLiteral(R"JS((function () {
  if (!document.body) return null;
  var hrefs = [], texts = [], paths = [];
  function textOf(node) {
    var text = '';
    for (var c = node.firstChild; c; c = c.nextSibling) {
      if (c.nodeType === 3 || c.nodeType === 4) text += c.data;
      else if (c.nodeType === 1 && c.localName !== 'script' && c.localName !== 'style') text += textOf(c);
    }
    return text;
  }
  function walk(parent, path) {
    var index = 0;
    for (var el = parent.firstElementChild; el; el = el.nextElementSibling) {
      var here = path + String.fromCharCode(Math.min(index++, 0xD7FF));
      var tag = el.localName;
      if (tag === 'a' && el.hasAttribute('href')) {
        var raw = el.getAttribute('href').replace(/^[\x00-\x20]+/, '');
        var href = el.href;
        if (raw.charAt(0) !== '#' && /^https?:\/\//.test(href)) {
          hrefs.push(href);
          texts.push(textOf(el));
          paths.push(here);
        }
      }
      if (tag === 'iframe' || tag === 'frame') {
        var doc = null;
        try { doc = el.contentDocument; } catch (e) { doc = null; }
        if (doc && doc.documentElement && here.length < 512) walk(doc, here);
      } else if (tag !== 'noscript' && here.length < 512) {
        walk(el, here);
      }
    }
  }
  walk(document, '');
  return [hrefs, texts, paths];
})())JS");

std::optional<std::vector<LinkRecord>> LinksFromScript(const QVariant& result) {
    if (result.typeId() != QMetaType::QVariantList) return std::nullopt;
    const QVariantList lists = result.toList();
    if (lists.size() != 3) return std::nullopt;
    const QStringList hrefs = lists[0].toStringList();
    const QStringList texts = lists[1].toStringList();
    const QStringList paths = lists[2].toStringList();
    const qsizetype count = std::min({hrefs.size(), texts.size(), paths.size()});
    std::vector<LinkRecord> links;
    links.reserve(static_cast<std::size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        LinkRecord link{hrefs[i].toStdString(), texts[i].toStdString(), {}};
        link.path.reserve(static_cast<std::size_t>(paths[i].size()));
        for (const QChar step : paths[i]) link.path.push_back(step.unicode());
        links.push_back(std::move(link));
    }
    return links;
}

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

void WebEngineBrowser::ReadPageLinks(LinksCallback done) {
    const std::uint64_t id = ++nextRead_;
    readsInFlight_.emplace(id, std::move(done));
    std::weak_ptr<int> alive = alive_;
    // The engine calls back on the UI thread; while the page is being
    // destroyed it calls back with an invalid value, which reads as "no
    // document".
    view_.page()->runJavaScript(kPageLinksScript, QWebEngineScript::ApplicationWorld,
                                [this, alive, id](const QVariant& result) {
                                    if (alive.expired()) return;
                                    Answer(id, LinksFromScript(result));
                                });
}

void WebEngineBrowser::Answer(std::uint64_t id, std::optional<std::vector<LinkRecord>> links) {
    auto found = readsInFlight_.find(id);
    if (found == readsInFlight_.end()) return; // already answered as failed
    LinksCallback done = std::move(found->second);
    readsInFlight_.erase(found);
    done(std::move(links));
}

void WebEngineBrowser::FailReadsInFlight() {
    // Answered in the order asked; an answer may ask for a new read, which
    // belongs to the next renderer and stays.
    std::map<std::uint64_t, LinksCallback> failed = std::exchange(readsInFlight_, {});
    for (auto& [id, done] : failed) done(std::nullopt);
}

} // namespace quorlan::board
