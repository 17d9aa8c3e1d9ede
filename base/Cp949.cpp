#include "Cp949.h"

#include <cerrno>
#include <iconv.h>

namespace quorlan::base {
namespace {

// One iconv pass; an unconvertible or broken sequence becomes "?" and the
// conversion goes on, so no input is ever lost as a whole.
std::string Convert(const char* to, const char* from, std::string_view in, std::size_t skipOnError) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            const std::size_t used = out.size() - outLeft;
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: replace one character (or the rest of a truncated one).
        std::size_t skip = 1;
        if (skipOnError == 2) {
            skip = 2; // one UTF-16 code unit
        } else if (skipOnError > 1) {
            const auto lead = static_cast<unsigned char>(*inPtr);
            skip = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        } else if (static_cast<unsigned char>(*inPtr) >= 0x81 && inLeft >= 2) {
            skip = 2;
        }
        if (skip > inLeft) skip = inLeft;
        inPtr += skip;
        inLeft -= skip;
        if (outLeft < 1) {
            const std::size_t used = out.size() - outLeft;
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = out.size() - used;
        }
        *outPtr++ = '?';
        --outLeft;
    }
    out.resize(out.size() - outLeft);
    iconv_close(cd);
    return out;
}

} // namespace

std::string Cp949FromUtf8(std::string_view utf8) { return Convert("CP949", "UTF-8", utf8, 4); }
std::string Utf8FromCp949(std::string_view cp949) { return Convert("UTF-8", "CP949", cp949, 1); }
std::string Cp949FromUtf16Le(std::string_view utf16le) { return Convert("CP949", "UTF-16LE", utf16le, 2); }
std::string Utf16LeFromCp949(std::string_view cp949) { return Convert("UTF-16LE", "CP949", cp949, 1); }

} // namespace quorlan::base
