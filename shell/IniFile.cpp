#include "shell/IniFile.h"

#include "base/Cp949.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace quorlan::shell {
namespace {

namespace fs = std::filesystem;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Names are compared byte by byte with ASCII letters folded; cp949 bytes above
// 0x7F compare as they are.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::optional<std::string_view> SectionName(std::string_view line) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> SplitKeyLine(std::string_view line) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return KeyValue{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool HasLineBreakOrNul(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos; }

std::string ErrnoText(int err) { return std::strerror(err); }

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// Length of the line end starting at text[i] (a CR or an LF).
std::size_t LineEndLength(std::string_view text, std::size_t i, std::size_t unit) {
    auto at = [&](std::size_t k, char c) {
        std::size_t pos = i + k * unit;
        if (pos + unit > text.size() || text[pos] != c) return false;
        for (std::size_t b = 1; b < unit; ++b)
            if (text[pos + b] != '\0') return false;
        return true;
    };
    if (at(0, '\r')) {
        if (at(1, '\r') && at(2, '\n')) return 3;
        if (at(1, '\n')) return 2;
        return 1;
    }
    // LF CR, unless that CR begins a CR LF of its own.
    if (at(1, '\r') && !at(2, '\n')) return 2;
    return 1;
}

// A value as a read gives it: up to its first NUL (the private-profile
// functions hand values over as C strings), one pair of matching quotes
// dropped, at most IniFile::kMaxValueChars characters.
std::string ValueAsRead(std::string_view value) {
    value = Trim(value.substr(0, value.find('\0')));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, IniFile::kMaxValueChars));
}

// Well-formed UTF-8 as Unicode defines it: shortest forms only, no
// surrogates, nothing above U+10FFFF, no sequence cut short.
bool IsWellFormedUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF; // the range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

bool HasByteAbove7F(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) > 0x7F) return true;
    return false;
}

// The file a save must replace: a symbolic link is followed so that the link
// stays and its target gets the new text.
fs::path SaveTarget(const std::string& path) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) return resolved;
    }
    return fs::path(path);
}

} // namespace

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
    std::string_view t = Trim(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    bool hex = false;
    if (t.size() >= 1 && t.front() == '$') {
        hex = true;
        t.remove_prefix(1);
    } else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        hex = true;
        t.remove_prefix(2);
    }
    if (t.empty()) return std::nullopt;

    std::uint64_t value = 0;
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (char c : t) {
        int digit = hex ? HexDigit(c) : ((c >= '0' && c <= '9') ? c - '0' : -1);
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (value > limit) return std::nullopt;
    }
    // Two's complement wrap gives hex its full 32 bits and -2147483648 its value.
    auto bits = static_cast<std::uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

IniStatus IniFile::Load() {
    lines_.clear();
    encoding_ = Encoding::Cp949;
    mark_ = false;
    loadFailed_ = false;

    std::error_code ec;
    fs::file_status status = fs::status(path_, ec);
    if (!fs::exists(status)) return {};
    auto fail = [this](std::string why) {
        loadFailed_ = true;
        return IniStatus::Failure("Unable to read " + path_ + ": " + why);
    };
    if (!fs::is_regular_file(status)) return fail("not a regular file");
    std::uintmax_t size = fs::file_size(path_, ec);
    if (ec) return fail(ec.message());
    if (size > kMaxFileBytes) return fail("file too large");

    std::ifstream in(path_, std::ios::binary);
    if (!in) return fail(ErrnoText(errno));
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.gcount() != static_cast<std::streamsize>(text.size())) return fail("short read");

    std::string_view body = text;
    if (body.substr(0, kUtf16LeMark.size()) == kUtf16LeMark) {
        encoding_ = Encoding::Utf16Le;
        mark_ = true;
        body.remove_prefix(kUtf16LeMark.size());
    } else if (body.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        encoding_ = Encoding::Utf8;
        mark_ = true;
        body.remove_prefix(kUtf8Mark.size());
    } else if (HasByteAbove7F(body) && IsWellFormedUtf8(body)) {
        // What a Linux editor writes. Real cp949 text is almost never
        // well-formed UTF-8: most Hangul syllables begin with a byte (0xB0 to
        // 0xC1) that UTF-8 never begins a character with.
        encoding_ = Encoding::Utf8;
    }
    SplitLines(body);
    return {};
}

void IniFile::SplitLines(std::string_view body) {
    const std::size_t unit = encoding_ == Encoding::Utf16Le ? 2 : 1;
    auto isBreak = [&](std::size_t i) {
        if (body[i] != '\r' && body[i] != '\n') return false;
        return unit == 1 || (i + 1 < body.size() && body[i + 1] == '\0');
    };
    std::size_t start = 0;
    std::size_t i = 0;
    while (i + unit <= body.size()) {
        if (!isBreak(i)) {
            i += unit;
            continue;
        }
        const std::size_t length = LineEndLength(body, i, unit);
        Line line;
        line.raw = std::string(body.substr(start, i - start));
        for (std::size_t k = 0; k < length; ++k) line.eol += body[i + k * unit];
        lines_.push_back(std::move(line));
        i += length * unit;
        start = i;
    }
    if (start < body.size()) lines_.push_back(Line{{}, {}, std::string(body.substr(start)), false});
    for (Line& line : lines_) {
        switch (encoding_) {
        case Encoding::Cp949: line.text = line.raw; break;
        case Encoding::Utf8: line.text = base::Cp949FromUtf8(line.raw); break;
        case Encoding::Utf16Le: line.text = base::Cp949FromUtf16Le(line.raw); break;
        }
    }
}

std::string IniFile::Encode(std::string_view cp949) const {
    switch (encoding_) {
    case Encoding::Utf8: return base::Utf8FromCp949(cp949);
    case Encoding::Utf16Le: return base::Utf16LeFromCp949(cp949);
    case Encoding::Cp949: break;
    }
    return std::string(cp949);
}

std::string IniFile::NewLineEnd() const {
    if (!lines_.empty() && !lines_.front().eol.empty()) return lines_.front().eol;
    return "\r\n";
}

void IniFile::InsertLine(std::size_t at, std::string text) {
    const std::string eol = NewLineEnd();
    // A last line without a line end gets one before a line follows it.
    if (at == lines_.size() && !lines_.empty() && lines_.back().eol.empty()) {
        lines_.back().eol = eol;
        lines_.back().edited = true;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), eol, {}, true});
}

std::optional<std::size_t> IniFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        auto name = SectionName(lines_[i].text);
        if (name && SameName(*name, section)) return i;
    }
    return std::nullopt;
}

std::size_t IniFile::SectionEnd(std::size_t sectionLine) const {
    std::size_t i = sectionLine + 1;
    while (i < lines_.size() && !SectionName(lines_[i].text)) ++i;
    return i;
}

std::optional<std::size_t> IniFile::FindKey(std::size_t sectionLine, std::string_view key) const {
    std::size_t end = SectionEnd(sectionLine);
    for (std::size_t i = sectionLine + 1; i < end; ++i) {
        auto kv = SplitKeyLine(lines_[i].text);
        if (kv && SameName(kv->key, key)) return i;
    }
    return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    auto sectionLine = FindSection(section);
    if (!sectionLine) return std::string(defaultValue);
    auto keyLine = FindKey(*sectionLine, key);
    if (!keyLine) return std::string(defaultValue);
    return ValueAsRead(SplitKeyLine(lines_[*keyLine].text)->value);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const {
    std::string text = ReadString(section, key, "");
    return ParseIniInteger(text).value_or(defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<IniFile::Entry> IniFile::Entries(std::string_view section) const {
    std::vector<Entry> entries;
    auto sectionLine = FindSection(section);
    if (!sectionLine) return entries;
    const std::size_t end = SectionEnd(*sectionLine);
    for (std::size_t i = *sectionLine + 1; i < end; ++i) {
        auto kv = SplitKeyLine(lines_[i].text);
        if (kv) entries.push_back({std::string(kv->key), ValueAsRead(kv->value)});
    }
    return entries;
}

std::size_t IniFile::RemoveKeys(std::string_view section, const std::function<bool(std::string_view key)>& pick) {
    auto sectionLine = FindSection(section);
    if (!sectionLine) return 0;
    const auto first = lines_.begin() + static_cast<std::ptrdiff_t>(*sectionLine + 1);
    const auto last = lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(*sectionLine));
    const auto kept = std::remove_if(first, last, [&](const Line& line) {
        auto kv = SplitKeyLine(line.text);
        return kv && pick(kv->key);
    });
    const auto removed = static_cast<std::size_t>(last - kept);
    lines_.erase(kept, last);
    return removed;
}

IniStatus IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string_view cleanKey = Trim(key);
    std::string_view cleanSection = Trim(section);
    if (cleanKey.empty() || HasLineBreakOrNul(key) || key.find('=') != key.npos || cleanKey.front() == '[' ||
        cleanKey.front() == ';') {
        return IniStatus::Failure("Refused to write key \"" + std::string(key) + "\": not a valid key name");
    }
    if (cleanSection.empty() || HasLineBreakOrNul(section) || section.find(']') != section.npos) {
        return IniStatus::Failure("Refused to write section \"" + std::string(section) + "\": not a valid name");
    }
    if (HasLineBreakOrNul(value)) {
        return IniStatus::Failure("Refused to write key \"" + std::string(key) + "\": value holds a line break");
    }

    auto sectionLine = FindSection(cleanSection);
    if (!sectionLine) {
        InsertLine(lines_.size(), "[" + std::string(cleanSection) + "]");
        InsertLine(lines_.size(), std::string(cleanKey) + "=" + std::string(value));
        return {};
    }
    if (auto keyLine = FindKey(*sectionLine, cleanKey)) {
        // The key keeps the spelling it already had in the file, the line its end.
        Line& line = lines_[*keyLine];
        line.text = std::string(SplitKeyLine(line.text)->key) + "=" + std::string(value);
        line.edited = true;
        return {};
    }
    // A new key goes after the section's last non-blank line, so blank lines
    // that separate it from the next section stay where they are.
    std::size_t insertAt = SectionEnd(*sectionLine);
    while (insertAt > *sectionLine + 1 && Trim(lines_[insertAt - 1].text).empty()) --insertAt;
    InsertLine(insertAt, std::string(cleanKey) + "=" + std::string(value));
    return {};
}

IniStatus IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    return WriteString(section, key, std::to_string(value));
}

IniStatus IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

std::string IniFile::Text() const {
    std::string text;
    if (mark_ && encoding_ == Encoding::Utf8) text = kUtf8Mark;
    if (mark_ && encoding_ == Encoding::Utf16Le) text = kUtf16LeMark;
    for (const Line& line : lines_) {
        text += line.edited ? Encode(line.text) : line.raw;
        text += encoding_ == Encoding::Utf16Le ? Encode(line.eol) : line.eol;
    }
    return text;
}

IniStatus IniFile::Save() const {
    if (loadFailed_) return IniStatus::Failure("Unable to write to " + path_ + ": the file could not be read first");

    const fs::path target = SaveTarget(path_);
    const std::string targetName = target.string();
    auto fail = [&](const std::string& why) { return IniStatus::Failure("Unable to write to " + path_ + ": " + why); };

    // A read-only file is the user's choice: the rename below would replace it
    // all the same, so it is refused here.
    struct stat current {};
    if (::stat(targetName.c_str(), &current) == 0 && S_ISREG(current.st_mode) && (current.st_mode & 0222) == 0) {
        return fail("the file is read-only");
    }

    // The temporary name stays in the target's directory so the final rename
    // never crosses file systems.
    std::string tempName = targetName + ".XXXXXX";
    int fd = ::mkstemp(tempName.data()); // created 0600
    if (fd < 0) return fail(ErrnoText(errno));
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tempName.c_str());
        return fail(ErrnoText(err));
    };

    struct stat existing {};
    if (::stat(targetName.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        if (::fchmod(fd, existing.st_mode & 07777) != 0) return abandon(errno);
    }

    const std::string text = Text();
    std::size_t written = 0;
    while (written < text.size()) {
        ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return abandon(errno);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return abandon(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tempName.c_str());
        return fail(ErrnoText(err));
    }
    if (::rename(tempName.c_str(), targetName.c_str()) != 0) {
        int err = errno;
        ::unlink(tempName.c_str());
        return fail(ErrnoText(err));
    }
    // Make the rename itself durable; a failure here loses nothing already
    // written, so it is not reported.
    fs::path dir = target.parent_path();
    int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

} // namespace quorlan::shell
