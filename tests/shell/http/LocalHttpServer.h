#pragma once
#include <httplib.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace quorlan::test {

// A web server on 127.0.0.1 and a free port, in its own thread, serving
// fixed bodies by path. Paths not served answer 404. Counts the requests of
// each path.
class LocalHttpServer {
public:
    LocalHttpServer() {
        server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(mutex_);
            ++hits_[request.path];
            if (auto redirect = redirects_.find(request.path); redirect != redirects_.end()) {
                response.status = redirect->second.status;
                response.set_header("Location", redirect->second.location);
                return;
            }
            auto found = bodies_.find(request.path);
            if (found == bodies_.end()) {
                response.status = 404;
                response.set_content("<html><body>404 Not Found</body></html>", "text/html");
                return;
            }
            const std::string body = found->second.body;
            if (found->second.declareLength) {
                response.set_content(body, "application/octet-stream");
            } else {
                // Chunked transfer coding: the response declares no length.
                response.set_chunked_content_provider("application/octet-stream",
                                                      [body](std::size_t, httplib::DataSink& sink) {
                                                          sink.write(body.data(), body.size());
                                                          sink.done();
                                                          return true;
                                                      });
            }
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() only reaches a server whose accept loop runs.
        while (!server_.is_running()) std::this_thread::yield();
    }
    ~LocalHttpServer() {
        server_.stop();
        thread_.join();
    }
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    void Serve(const std::string& path, std::string body, bool declareLength = true) {
        std::lock_guard lock(mutex_);
        bodies_[path] = Body{std::move(body), declareLength};
    }
    // Answers path with the status and a Location header.
    void Redirect(const std::string& path, std::string location, int status) {
        std::lock_guard lock(mutex_);
        redirects_[path] = RedirectTo{std::move(location), status};
    }
    int Hits(const std::string& path) {
        std::lock_guard lock(mutex_);
        return hits_[path];
    }
    int Port() const { return port_; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    struct Body {
        std::string body;
        bool declareLength = true;
    };
    struct RedirectTo {
        std::string location;
        int status = 302;
    };
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::map<std::string, Body> bodies_;
    std::map<std::string, RedirectTo> redirects_;
    std::map<std::string, int> hits_;
};

} // namespace quorlan::test
