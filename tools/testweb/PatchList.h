#pragma once
#include <string>

namespace quorlan::testweb {

// The values published in "/patch_quorlan.txt". The defaults send a client of
// the running build (3) to the local coordination server and offer no update.
struct PatchListOptions {
    int version = 3;
    std::string serverAddress = "127.0.0.1";
    int serverPort = 3000;
    std::string patchFile;
    std::string signature;
};

// Empty when the options can be published; otherwise why not. A value holding a
// line break would add lines of its own to the list and is refused.
std::string ValidatePatchList(const PatchListOptions& options);

// The list in the INI form the client reads: section "config", keys version,
// port, ipaddr, patchfile and signature, one per line.
std::string RenderPatchList(const PatchListOptions& options);

} // namespace quorlan::testweb
