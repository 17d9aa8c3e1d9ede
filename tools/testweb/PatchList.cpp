#include "tools/testweb/PatchList.h"

#include <arpa/inet.h>

namespace quorlan::testweb {
namespace {

bool HasLineBreakOrNul(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

} // namespace

std::string ValidatePatchList(const PatchListOptions& options) {
    if (options.version < 0) return "version must not be negative";
    if (options.serverPort < 1 || options.serverPort > 65535) return "server port must be 1 to 65535";
    in_addr address{};
    if (inet_pton(AF_INET, options.serverAddress.c_str(), &address) != 1) {
        return "server address must be a dotted IPv4 address: " + options.serverAddress;
    }
    if (HasLineBreakOrNul(options.patchFile)) return "patch file URL must be one line";
    if (HasLineBreakOrNul(options.signature)) return "signature must be one line";
    return {};
}

std::string RenderPatchList(const PatchListOptions& options) {
    return "[config]\n"
           "version=" + std::to_string(options.version) + "\n"
           "port=" + std::to_string(options.serverPort) + "\n"
           "ipaddr=" + options.serverAddress + "\n"
           "patchfile=" + options.patchFile + "\n"
           "signature=" + options.signature + "\n";
}

} // namespace quorlan::testweb
