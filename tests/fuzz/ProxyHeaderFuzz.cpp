// The PROXY header parser on arbitrary bytes: never reads out of bounds, and
// what it reports is consistent with the input.
#include "server/link/ProxyHeader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quorlan::server::ProxyHeader;
    const ProxyHeader header = ProxyHeader::Parse({data, size});
    if (header.status == ProxyHeader::Status::Done && (header.length == 0 || header.length > size)) std::abort();
    if (header.status == ProxyHeader::Status::NeedMore && header.want == 0) std::abort();
    if (header.status == ProxyHeader::Status::Done && header.source == ProxyHeader::Source::Client &&
        header.address.empty())
        std::abort();
    ProxyHeader::Starts({data, size});
    return 0;
}
