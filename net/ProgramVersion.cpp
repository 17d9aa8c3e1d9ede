#include "ProgramVersion.h"

#include "Codec.h"
#include "quorlan/BuildConfig.h"

namespace quorlan::net {

std::string ProgramVersion(std::string_view program) {
    return std::string(program) + " " + config::kVersion + " (client build " + std::to_string(kClientBuild) + ")";
}

} // namespace quorlan::net
