#pragma once
#include "base/ILineLogs.h"
#include "net/Codec.h"
#include "quorlan/BuildConfig.h"
#include "shell/UpdateDecision.h"
#include "shell/http/THTTPDown.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace quorlan::shell {

struct UpdateCheckOptions {
    QString listUrl = QString::fromUtf8(config::kUpdateUrl);
    // In the working directory; stays on disk afterwards.
    QString listFile = QString::fromLatin1(kPatchListFileName);
    // The running program; empty means QCoreApplication::applicationFilePath().
    QString programPath;
    std::string publicKeyHex = config::kUpdatePublicKeyHex;
    std::string defaultAddress = config::kServerAddress;
    std::uint16_t defaultPort = static_cast<std::uint16_t>(config::kServerPort);
    std::uint32_t clientBuild = net::kClientBuild;
    // Given the list's server address and port as soon as the list is read,
    // before any patch download, so a reconnect tick during the download
    // already goes there.
    std::function<void(const ServerEndpoint&)> applyEndpoint;
};

struct UpdateOutcome {
    // To be set on the client socket before its first connection.
    ServerEndpoint server;
    // FUpdateInstalled: the new program is in place and running; this
    // instance closes at the next countdown tick and sends nothing.
    bool updateInstalled = false;
};

// The start-up update check, the first step of the program's start-up:
// fetch the patch list, take the server address and port from it and, when
// it offers a newer build not installed here before and a signature that can
// be checked, fetch the patch beside the program, check its size and its
// maker's signature of build number and file, swap it in (keeping the old
// program as ".old"), record the build and start it in the working directory. Every refusal and failure gets a
// debug line and leaves a runnable program in place; start-up then goes on.
class UpdateCheck {
public:
    UpdateCheck(THTTPDown& downloader, base::ILineLogs& logs, UpdateCheckOptions options = {});

    UpdateOutcome Run();

private:
    bool InstallAndStart(const PatchList& list);

    THTTPDown& downloader_;
    base::ILineLogs& logs_;
    UpdateCheckOptions options_;
};

} // namespace quorlan::shell
