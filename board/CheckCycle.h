#pragma once
#include "IBrowser.h"
#include "PagePosts.h"
#include "PostListText.h"
#include "base/ILineLogs.h"
#include "base/ITimer.h"
#include "client/ClientState.h"
#include "net/Sender.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorlan::board {

// The message-list lines of a board selection: how many posts the page shows,
// or that it shows none (also said at the first check after the selection).
std::string PostsFoundMessage(std::size_t posts);
const std::string& NoPostsMessage();

// The board window's share of the monitoring cycle: the page list, the list of
// the previous check sent by the server, the compare timer and the list
// exchange (ListReply, ListReport, NewPost).
//
// Reading the page is a request whose answer comes later. Each answer is
// checked before it is used: an answer older than the page list already held
// never replaces it, and a compare answer is dropped when a newer compare has
// been asked for or a document has completed (or a navigation to the board
// has started) since it was asked for; that newer event brings its own
// firing. A comparison runs on its own copies of both lists and clears the
// pending mark before its first send, so whatever is handled while a sender's
// modal "error" box is open (a ListRequest, a CheckList, another firing)
// neither changes its lines nor repeats them.
class CheckCycle {
public:
    CheckCycle(IBrowser& browser, base::ITimer& timerCompare, net::Sender& sender, base::ILineLogs& logs,
               client::ClientState& state);
    ~CheckCycle();
    CheckCycle(const CheckCycle&) = delete;
    CheckCycle& operator=(const CheckCycle&) = delete;

    // Post list of the page last read, in page order.
    PostList FPageList;
    // The posts behind FPageList (titles and links).
    std::vector<PagePost> FPagePosts;
    // Post list of the last CheckList, in the order received.
    PostList FServerList;
    // A CheckList has arrived and no comparison has taken it yet.
    bool FServerListPending = false;

    // CheckList: the text replaces FServerList, then ApplyServerList. (The
    // status bar and CycleStartTime belong to the dispatcher.)
    void ReceiveCheckList(const std::string& postListText);
    // Marks the server list pending and reloads the board (FBoardURL).
    void ApplyServerList();
    // ListRequest: reads the page shown now into FPageList and sends its text
    // as ListReply; nothing is sent when the page cannot be read or shows no
    // post (an empty reference would make every post of the next check new).
    void AnswerListRequest();
    // A completed document: except "about:blank", logged and TimerCompare
    // restarted, so the timer fires 2,000 ms after the last one.
    void DocumentComplete(const std::string& url);
    // TimerCompare's tick: stops the timer, reads the page into FPageList and,
    // when a server list is pending, reports the page (ListReport) and
    // compares. A page that cannot be read or shows no post sends nothing and
    // leaves the mark set; the first check after a board selection that finds
    // no post says so in the message list.
    void TimerCompareTimer();
    // Board selection: reads the page shown into FPageList only. done learns
    // how many posts the page shows, nullopt when it could not be read.
    void SelectBoard(std::function<void(std::optional<std::size_t> posts)> done);
    // A load failed: the engine shows its error page, not the board. The
    // compare timer stops, and every page read asked for so far is dropped
    // when it answers, so nothing read from that page is stored or sent.
    void LoadFailed();
    // Logs each new page line as "Check : " + line; under the cut-off logs
    // each again and sends it as NewPost, in page order. A refused line does
    // not stop the pass. Takes copies so nothing handled meanwhile alters it.
    void ComparePostLists(PostList page, PostList server);

private:
    using Links = std::optional<std::vector<LinkRecord>>;
    void ReadPage(std::uint64_t seq, std::function<void(std::uint64_t seq, Links links)> onAnswer);
    std::optional<PostList> StorePageList(std::uint64_t seq, const Links& links);
    void OnCompareLinks(std::uint64_t seq, std::uint64_t navigation, const Links& links);

    IBrowser& browser_;
    base::ITimer& timerCompare_;
    net::Sender& sender_;
    base::ILineLogs& logs_;
    client::ClientState& state_;

    std::uint64_t readSeq_ = 0;            // last page read asked for
    std::uint64_t pageListSeq_ = 0;        // read whose answer FPageList holds
    std::uint64_t latestCompareRead_ = 0;  // last read asked for by the timer
    std::uint64_t navigation_ = 0;         // documents completed and board loads started
    std::uint64_t droppedReads_ = 0;       // reads up to this one are dropped when they answer
    bool firstCheck_ = false;              // no check has read the board since its selection
    // Answers that arrive after the cycle is gone are ignored.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace quorlan::board
