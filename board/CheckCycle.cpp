#include "CheckCycle.h"

#include "PostListCompare.h"
#include "base/Cp949.h"

#include <utility>

namespace quorlan::board {
namespace {

// The browser control held no readable document (nothing loaded yet, or the
// page went away while it was read).
constexpr const char* kPageUnreadable = "WebBrowser: no document to read";
// The page was read but no link of it is a post.
constexpr const char* kNoPostsLog = "WebBrowser: no post found on the page";

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

void CheckCycle::ReadPage(std::uint64_t seq, std::function<void(std::uint64_t seq, Links links)> onAnswer) {
    std::weak_ptr<int> alive = alive_;
    browser_.ReadPageLinks([this, alive, seq, onAnswer = std::move(onAnswer)](Links links) {
        if (alive.expired() || seq <= droppedReads_) return;
        onAnswer(seq, std::move(links));
    });
}

void CheckCycle::LoadFailed() {
    timerCompare_.Stop();
    ++navigation_;
    droppedReads_ = readSeq_;
}

std::optional<PostList> CheckCycle::StorePageList(std::uint64_t seq, const Links& links) {
    const bool newest = seq > pageListSeq_;
    if (newest) pageListSeq_ = seq;
    if (!links) {
        if (newest) {
            FPageList.clear();
            FPagePosts.clear();
        }
        logs_.DebugLog(kPageUnreadable);
        return std::nullopt;
    }
    std::vector<PagePost> posts = FindPagePosts(*links);
    PostList page = PostLines(posts);
    if (newest) {
        FPageList = page;
        FPagePosts = std::move(posts);
    }
    if (page.empty()) logs_.DebugLog(kNoPostsLog);
    return page;
}

void CheckCycle::TimerCompareTimer() {
    timerCompare_.Stop();
    const std::uint64_t navigation = navigation_;
    // Recorded before the browser is asked: it may answer at once.
    latestCompareRead_ = ++readSeq_;
    ReadPage(latestCompareRead_,
             [this, navigation](std::uint64_t seq, Links links) { OnCompareLinks(seq, navigation, links); });
}

void CheckCycle::OnCompareLinks(std::uint64_t seq, std::uint64_t navigation, const Links& links) {
    if (seq != latestCompareRead_ || navigation != navigation_) return;
    std::optional<PostList> page = StorePageList(seq, links);
    if (!page || !FServerListPending) return;
    if (std::exchange(firstCheck_, false) && page->empty()) logs_.AddListMessage(NoPostsMessage());
    // A page without posts (not a board list, or an error page of the site)
    // is not this board's list: reporting it would make every post of the
    // next check new.
    if (page->empty()) return;
    // Taken before the first send: a firing handled while a modal box is open
    // finds nothing pending, and a CheckList arriving then marks its own list.
    FServerListPending = false;
    PostList server = FServerList;
    sender_.SendListReport(WritePostListText(*page));
    ComparePostLists(std::move(*page), std::move(server));
}

void CheckCycle::AnswerListRequest() {
    ReadPage(++readSeq_, [this](std::uint64_t seq, Links links) {
        std::optional<PostList> page = StorePageList(seq, links);
        if (page && !page->empty()) sender_.SendListReply(WritePostListText(*page));
    });
}

void CheckCycle::SelectBoard(std::function<void(std::optional<std::size_t> posts)> done) {
    firstCheck_ = true;
    ReadPage(++readSeq_, [this, done = std::move(done)](std::uint64_t seq, Links links) {
        const std::optional<PostList> page = StorePageList(seq, links);
        done(page ? std::optional<std::size_t>(page->size()) : std::nullopt);
    });
}

const std::string& NoPostsMessage() {
    return QUORLAN_CP949("게시물을 찾지 못했습니다. 게시판 목록 주소인지 확인하세요.");
}

std::string PostsFoundMessage(std::size_t posts) {
    return QUORLAN_CP949("게시물 ") + std::to_string(posts) + QUORLAN_CP949("개를 찾았습니다.");
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
