#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::shell {

// Outcome of an INI operation that can fail; `error` says why in words fit for
// the debug log.
struct [[nodiscard]] IniStatus {
    bool ok = true;
    std::string error;

    static IniStatus Failure(std::string why) { return IniStatus{false, std::move(why)}; }
};

// Private-profile integer rule: optional sign, then decimal digits or hex
// digits after "0x", "0X" or "$"; surrounding blanks allowed. Anything else,
// and values outside 32 bits (hex may use all 32 bits, read as two's
// complement), is not an integer.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

// One INI file held in memory, read and written with the private-profile
// rules the settings and the patch list rely on:
// - sections and keys are matched without regard to (ASCII) case; the first
//   matching section and the first matching key in it win;
// - blanks around keys and values are dropped, as is one pair of matching
//   quotes around a value; a value ends at a NUL byte; at most kMaxValueChars characters of a value are
//   seen;
// - a missing file, section or key reads as the caller's default;
// - a line ends at CR LF, LF or a lone CR (and at CR CR LF or LF CR, the
//   line ends of a file converted twice), so files from any platform read
//   alike;
// - the file's encoding is told from its bytes, by the first rule that fits:
//   the UTF-16LE byte-order mark makes it UTF-16, the UTF-8 mark makes it
//   UTF-8; a file without a mark that holds a byte above 0x7F and is
//   well-formed UTF-8 throughout (shortest forms, no surrogates, nothing above
//   U+10FFFF, no sequence cut short) is UTF-8 without a mark; any other file
//   is cp949 as it stands. A file that reads both ways is therefore UTF-8.
//   UTF-8 and UTF-16 texts are converted to cp949 when read and back when
//   written, and a mark stays as it was (there, or not there);
// - writing a key replaces its line or adds it (and its section) and keeps
//   every other line of the file, its line end included, as it was.
// Nothing touches the disk until Save(), which replaces the file atomically.
class IniFile {
public:
    // A read goes through a 2,048-character buffer: 2,047 characters and the end.
    static constexpr std::size_t kMaxValueChars = 2047;
    // A settings file or a patch list never comes near this; a bigger file is
    // refused rather than read into memory.
    static constexpr std::uintmax_t kMaxFileBytes = 16u * 1024u * 1024u;

    explicit IniFile(std::string path);

    // Reads the file. A missing file is an empty one and not an error. A file
    // that exists but cannot be read leaves the contents empty, returns the
    // error and makes Save() refuse, so an unreadable file is never replaced
    // by a stub.
    IniStatus Load();

    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // Every key line of the first matching section, in file order, with its
    // value as ReadString gives it; a repeated key comes each time it stands.
    struct Entry {
        std::string key;
        std::string value;
    };
    std::vector<Entry> Entries(std::string_view section) const;

    // Removes every line of the first matching section whose key the
    // predicate picks; returns how many went.
    std::size_t RemoveKeys(std::string_view section, const std::function<bool(std::string_view key)>& pick);

    // Changes the text in memory. A key or value that would break the line
    // structure (line breaks, NUL; "=" or a leading "[" or ";" in a key) is
    // refused and nothing changes.
    IniStatus WriteString(std::string_view section, std::string_view key, std::string_view value);
    IniStatus WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    IniStatus WriteBool(std::string_view section, std::string_view key, bool value);

    // Writes the whole text to a temporary file beside the target, flushes it
    // to the disk and renames it over the target. On any failure the previous
    // file is left as it was and the temporary file is removed. A new file is
    // readable by its owner only; an existing file keeps its permissions. A
    // file whose permissions let nobody write it is read-only: it is refused,
    // not replaced.
    IniStatus Save() const;

    const std::string& Path() const { return path_; }
    // The file's bytes as Save() would write them.
    std::string Text() const;

private:
    enum class Encoding { Cp949, Utf8, Utf16Le };
    // How the file began: with a byte-order mark of its encoding or not.
    struct Line {
        std::string text; // cp949, without the line end
        std::string eol;  // "\r\n", "\n", "\r", "\r\r\n", "\n\r" or "" (last line)
        std::string raw;  // the line as read, in the file's encoding; written back unless edited
        bool edited = false;
    };

    void SplitLines(std::string_view body);
    std::string Encode(std::string_view cp949) const;
    // How a new line ends: as the file's first line does; CR LF in a file
    // without line ends.
    std::string NewLineEnd() const;
    void InsertLine(std::size_t at, std::string text);

    std::optional<std::size_t> FindSection(std::string_view section) const;
    // Index of the key's line inside the section starting at sectionLine.
    std::optional<std::size_t> FindKey(std::size_t sectionLine, std::string_view key) const;
    std::size_t SectionEnd(std::size_t sectionLine) const;

    std::string path_;
    std::vector<Line> lines_;
    Encoding encoding_ = Encoding::Cp949;
    bool mark_ = false;
    bool loadFailed_ = false;
};

} // namespace quorlan::shell
