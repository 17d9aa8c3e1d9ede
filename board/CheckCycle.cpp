#include "CheckCycle.h"

#include "Extraction.h"
#include "PostListCompare.h"

namespace quorlan::board {
namespace {

// The browser control held no readable document (nothing loaded yet, or the
// page went away while it was read).
constexpr const char* kPageUnreadable = "WebBrowser: no document to read";

} // namespace

CheckCycle::CheckCycle(IBrowser& browser, base::ITimer& timerCompare, net::Sender& sender, base::ILineLogs& logs,
                       client::ClientState& state)
    : browser_(browser), timerCompare_(timerCompare), sender_(sender), logs_(logs), state_(state) {}

CheckCycle::~CheckCycle() = default;

void CheckCycle::ReceiveCheckList(const std::string& postListText) {
    FServerList = ReadPostListText(postListText);
    ApplyServerList();
}

void CheckCycle::ApplyServerList() {
    FServerListPending = true;
    ++navigation_;
    browser_.Navigate(state_.FBoardURL);
}

void CheckCycle::DocumentComplete(const std::string& url) {
    if (url == "about:blank") return;
    logs_.DebugLog("WebBrowser: " + url);
    ++navigation_;
    timerCompare_.Stop();
    timerCompare_.Start();
}

void CheckCycle::ReadPage(std::uint64_t seq, std::function<void(std::uint64_t seq, Markup markup)> onAnswer) {
    std::weak_ptr<int> alive = alive_;
    browser_.ReadBodyMarkup([this, alive, seq, onAnswer = std::move(onAnswer)](Markup markup) {
        if (alive.expired() || seq <= droppedReads_) return;
        onAnswer(seq, std::move(markup));
    });
}

void CheckCycle::LoadFailed() {
    timerCompare_.Stop();
    ++navigation_;
    droppedReads_ = readSeq_;
}

std::optional<PostList> CheckCycle::StorePageList(std::uint64_t seq, const Markup& markup) {
    const bool newest = seq > pageListSeq_;
    if (newest) pageListSeq_ = seq;
    if (!markup) {
        if (newest) FPageList.clear();
        logs_.DebugLog(kPageUnreadable);
        return std::nullopt;
    }
    PostList page = ExtractPostList(*markup);
    if (newest) FPageList = page;
    return page;
}

void CheckCycle::TimerCompareTimer() {
    timerCompare_.Stop();
    const std::uint64_t navigation = navigation_;
    // Recorded before the browser is asked: it may answer at once.
    latestCompareRead_ = ++readSeq_;
    ReadPage(latestCompareRead_,
             [this, navigation](std::uint64_t seq, Markup markup) { OnCompareMarkup(seq, navigation, markup); });
}

void CheckCycle::OnCompareMarkup(std::uint64_t seq, std::uint64_t navigation, const Markup& markup) {
    if (seq != latestCompareRead_ || navigation != navigation_) return;
    std::optional<PostList> page = StorePageList(seq, markup);
    if (!page || !FServerListPending) return;
    // Taken before the first send: a firing handled while a modal box is open
    // finds nothing pending, and a CheckList arriving then marks its own list.
    FServerListPending = false;
    PostList server = FServerList;
    sender_.SendListReport(WritePostListText(*page));
    ComparePostLists(std::move(*page), std::move(server));
}

void CheckCycle::AnswerListRequest() {
    ReadPage(++readSeq_, [this](std::uint64_t seq, Markup markup) {
        std::optional<PostList> page = StorePageList(seq, markup);
        if (page) sender_.SendListReply(WritePostListText(*page));
    });
}

void CheckCycle::RefreshPageList(std::function<void(bool read)> done) {
    ReadPage(++readSeq_, [this, done = std::move(done)](std::uint64_t seq, Markup markup) {
        const bool read = StorePageList(seq, markup).has_value();
        if (done) done(read);
    });
}

void CheckCycle::ComparePostLists(PostList page, PostList server) {
    const std::vector<std::size_t> fresh = FindNewLines(page, server);
    for (std::size_t i : fresh) logs_.DebugLog("Check : " + page[i]);
    if (fresh.size() >= kNewLineCutOff) return;
    for (std::size_t i : fresh) {
        logs_.DebugLog("Check : " + page[i]);
        sender_.SendNewPost(page[i]);
    }
}

} // namespace quorlan::board
