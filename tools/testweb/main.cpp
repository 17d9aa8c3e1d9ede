// quorlan-testweb: the board, SMS gateway and patch list a Quorlan client talks
// to, served on loopback for the demo and the full-loop tests.
#include "net/ProgramVersion.h"
#include "tools/testweb/BoardStyles.h"
#include "tools/testweb/PatchList.h"
#include "tools/testweb/TestWebServer.h"

#include <CLI/CLI.hpp>
#include <spdlog/spdlog.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <pthread.h>

namespace {

// "host:port" into its parts; false when the text is not of that form.
bool SplitListen(const std::string& listen, std::string& host, int& port) {
    const std::size_t colon = listen.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = listen.substr(0, colon);
    try {
        std::size_t used = 0;
        port = std::stoi(listen.substr(colon + 1), &used);
        return used == listen.size() - colon - 1 && port >= 0 && port <= 65535;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"quorlan-testweb: local board pages, SMS gateway and patch list for Quorlan"};
    app.set_version_flag("--version", quorlan::net::ProgramVersion("quorlan-testweb"));
    std::string listen = "127.0.0.1:8080";
    int autoPostSeconds = 0;
    quorlan::testweb::PatchListOptions patch;
    app.add_option("--listen", listen, "address:port to serve on (port 0 picks a free one)")->capture_default_str();
    app.add_option("--auto-post", autoPostSeconds, "add a marketplace post every SECONDS (0 = off)")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str();
    app.add_option("--patch-version", patch.version, "patch list: newest build on offer")->capture_default_str();
    app.add_option("--patch-file", patch.patchFile, "patch list: URL of the new program file");
    app.add_option("--patch-signature", patch.signature, "patch list: signature of the new program file (hex)");
    std::string servePatch;
    app.add_option("--serve-patch", servePatch,
                   "serve this file as the new program at /patch/quorlan (and name it in the patch list when "
                   "--patch-file is not given)")
        ->check(CLI::ExistingFile);
    app.add_option("--server-address", patch.serverAddress, "patch list: coordination server address")
        ->capture_default_str();
    app.add_option("--server-port", patch.serverPort, "patch list: coordination server port")->capture_default_str();
    bool listStyles = false;
    app.add_flag("--list-styles", listStyles,
                 "print each board style's list page (the address to watch) for --listen, and exit");
    CLI11_PARSE(app, argc, argv);

    std::string host;
    int port = 0;
    if (!SplitListen(listen, host, port)) {
        spdlog::error("--listen must be address:port, got \"{}\"", listen);
        return 2;
    }
    if (listStyles) {
        for (const quorlan::testweb::BoardStyle& style : quorlan::testweb::BoardStyles()) {
            std::printf("  %-9s http://%s:%d%s\n            %s\n", style.name, host.c_str(), port, style.listPath,
                        style.imitates);
        }
        return 0;
    }
    if (const std::string problem = quorlan::testweb::ValidatePatchList(patch); !problem.empty()) {
        spdlog::error("patch list: {}", problem);
        return 2;
    }

    // The signals are taken by sigwait below; blocking them before any thread
    // starts keeps them away from the server's workers.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    quorlan::testweb::TestWebOptions options;
    if (!servePatch.empty()) {
        std::ifstream in(servePatch, std::ios::binary);
        options.patchFileBody.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            spdlog::error("cannot read {}", servePatch);
            return 2;
        }
        if (patch.patchFile.empty() && port == 0) {
            spdlog::error("--serve-patch on a free port needs --patch-file to name the address");
            return 2;
        }
        if (patch.patchFile.empty()) {
            patch.patchFile = "http://" + host + ":" + std::to_string(port) + quorlan::testweb::kPatchFilePath;
        }
    }
    options.patch = patch;
    options.autoPost = std::chrono::seconds(autoPostSeconds);
    options.log = [](const std::string& line) { spdlog::info("{}", line); };
    quorlan::testweb::TestWebServer server(options);
    const quorlan::testweb::StartResult started = server.Start(host, port);
    if (!started.error.empty()) {
        spdlog::error("{}", started.error);
        return 1;
    }
    spdlog::info("serving on http://{}:{}/ (board: /bbs/zboard.php?id=share, automatic posts: {})", host,
                 started.port, autoPostSeconds > 0 ? "every " + std::to_string(autoPostSeconds) + " s" : "off");
    for (const quorlan::testweb::BoardStyle& style : quorlan::testweb::BoardStyles()) {
        spdlog::info("board style {}: http://{}:{}{}", style.name, host, started.port, style.listPath);
    }

    int received = 0;
    sigwait(&signals, &received);
    spdlog::info("stopping on signal {}", received);
    server.Stop();
    return 0;
}
