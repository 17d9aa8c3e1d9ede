#pragma once
#include <QNetworkAccessManager>
#include <QString>

#include <cstdint>
#include <functional>

class QFile;
class QIODevice;

namespace quorlan::shell {

// The downloader (HttpDown_Unit): fetches one URL into one file over Qt
// Network, blocking its caller but letting the event loop run while it waits
// and after every chunk, so timers keep ticking during a start-up download.
//
// Rules of a fetch: redirects (301, 302, 303, 307, 308) are followed, at most
// kMaxRedirects of them and only to http or https addresses; the body is read
// in chunks of at most 2,048 bytes with OnRead after each; a response that
// declares no Content-Length, an HTTP error status or an unreachable host
// gives nothing and false; a declared length above the size limit, or a body
// that grows past it, ends the transfer at once with false; a stop request
// ends the transfer after the current chunk. Nothing is cached and no
// compressed body is asked for, so the declared length is the length of the
// bytes read.
class THTTPDown {
public:
    using TReadEvent = std::function<void(THTTPDown& sender, std::int32_t maxSize, std::int32_t size)>;
    using TCompleteEvent = std::function<void(THTTPDown& sender, QFile& fsDown)>;
    using TNotifyEvent = std::function<void(THTTPDown& sender)>;

    static constexpr qint64 kChunkBytes = 2048;
    // A server that stops answering would otherwise hold up start-up forever.
    static constexpr int kDefaultTransferTimeoutMs = 30000;
    static constexpr int kMaxRedirects = 5;
    // Neither the patch list nor a program file comes near this.
    static constexpr qint64 kDefaultMaxBytes = 256 * 1024 * 1024;

    THTTPDown();
    THTTPDown(const THTTPDown&) = delete;
    THTTPDown& operator=(const THTTPDown&) = delete;

    // Creates (or empties) fileName and fetches the URL into it. False when
    // the file cannot be created, the fetch fails (even after some bytes) or
    // the file is empty at the end. OnCompleted gets the still open file after
    // a whole transfer; OnError follows a failure, OnStop a stop request.
    bool DownloadToFile(const QString& url, const QString& fileName);

    // Writes the URL's body into `stream` from position 0. True when the last
    // read succeeded: the body arrived whole, or the transfer was stopped.
    bool FetchToStream(const QString& url, QIODevice& stream);

    // Ends the running transfer after the current chunk. Cleared when a
    // download begins.
    void Stop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_; }

    void SetTransferTimeout(int milliseconds) { transferTimeoutMs_ = milliseconds; }
    // The largest body a fetch accepts.
    void SetMaxBytes(qint64 bytes) { maxBytes_ = bytes; }

    TReadEvent OnRead;
    TCompleteEvent OnCompleted;
    TNotifyEvent OnError;
    TNotifyEvent OnStop;
    std::int32_t Tag = 0;

private:
    QNetworkAccessManager manager_;
    bool stopRequested_ = false;
    // A download asked for while the loop runs inside another one is refused.
    bool busy_ = false;
    int transferTimeoutMs_ = kDefaultTransferTimeoutMs;
    qint64 maxBytes_ = kDefaultMaxBytes;
};

} // namespace quorlan::shell
