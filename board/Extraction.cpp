#include "Extraction.h"

#include <cstring>

namespace quorlan::board {
namespace {

constexpr std::string_view kNbsp = "&nbsp;";
constexpr std::string_view kAmp = "&amp;";
constexpr auto npos = std::string_view::npos;

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// "HTTP" anywhere in the upper-cased tag.
bool HoldsHttpAnyCase(std::string_view tag) {
    for (std::size_t i = 0; i + 4 <= tag.size(); ++i) {
        if (UpperAscii(tag[i]) == 'H' && UpperAscii(tag[i + 1]) == 'T' && UpperAscii(tag[i + 2]) == 'T' &&
            UpperAscii(tag[i + 3]) == 'P')
            return true;
    }
    return false;
}

// "<A" anywhere in the upper-cased line.
bool HoldsAnchorStart(std::string_view line) {
    const char* p = line.data();
    const char* end = p + line.size();
    while (p < end) {
        const void* lt = std::memchr(p, '<', static_cast<std::size_t>(end - p));
        if (!lt) return false;
        p = static_cast<const char*>(lt) + 1;
        if (p < end && UpperAscii(*p) == 'A') return true;
    }
    return false;
}

// The link mark after a tag: on for a tag whose first byte is A/a and that
// holds no "HTTP" in any case, then off for a tag holding "/a" exactly.
bool ApplyTag(std::string_view tag, bool mark) {
    if (!tag.empty() && UpperAscii(tag[0]) == 'A' && !HoldsHttpAnyCase(tag)) mark = true;
    if (tag.find("/a") != npos) mark = false;
    return mark;
}

void AppendReplacingAmp(std::string& out, std::string_view text) {
    std::size_t from = 0;
    for (std::size_t at = text.find(kAmp); at != npos; at = text.find(kAmp, from)) {
        out.append(text.substr(from, at - from));
        out += '&';
        from = at + kAmp.size();
    }
    out.append(text.substr(from));
}

// The "<"/">" rule, given the first "<" (lt, found) and the first ">" (gt)
// of text: the tag between them when ">" comes after "<", else none; the
// rest starts after the ">", or is the whole text when there is no ">".
struct TagSplit {
    std::string_view tag;
    bool closed = false;
    std::size_t restFrom = 0;
};
TagSplit SplitTagAt(std::string_view text, std::size_t lt, std::size_t gt) {
    if (gt == npos) return {};
    if (gt < lt) return {{}, true, gt + 1};
    return {text.substr(lt + 1, gt - lt - 1), true, gt + 1};
}

} // namespace

void SplitFirstTag(std::string_view text, std::string_view& tag, std::string_view& rest) {
    rest = {};
    const std::size_t lt = text.find('<');
    if (lt == npos) return;
    const TagSplit split = SplitTagAt(text, lt, text.find('>'));
    tag = split.tag;
    rest = split.closed ? text.substr(split.restFrom) : text;
}

std::string_view FirstLinkTag(std::string_view line) {
    std::string_view text = line;
    std::string_view tag;
    std::string_view rest;
    while (text.find('<') != npos) {
        SplitFirstTag(text, tag, rest);
        if (ApplyTag(tag, false)) return tag;
        if (rest.size() >= text.size()) break; // a "<" without ">" ends the tags
        text = rest;
    }
    return {};
}

// The remaining text R is line[start, end). R only ever loses bytes at its
// front, so the next "<", ">" and "&nbsp;" at or after start are cached and
// searched again only once start has passed them: every byte is scanned a
// bounded number of times however the tags fall.
std::string ExtractAnchorText(std::string_view line) {
    std::string collected;
    bool mark = false;
    std::string_view tag;
    const std::size_t end = line.size();
    std::size_t start = 0;
    std::size_t nextLt = line.find('<');
    std::size_t nextGt = line.find('>');
    std::size_t nextNbsp = line.find(kNbsp);
    for (int round = 1; round <= kAnchorRepetitions; ++round) {
        if (nextLt != npos && nextLt < start) nextLt = line.find('<', start);
        if (nextGt != npos && nextGt < start) nextGt = line.find('>', start);
        std::string_view piece;
        bool collect = false;
        if (nextLt != npos && mark) {
            if (nextNbsp != npos && nextNbsp < start) nextNbsp = line.find(kNbsp, start);
            const bool holdsNbsp = nextNbsp != npos && nextNbsp + kNbsp.size() <= nextLt;
            piece = line.substr(start, nextLt - start);
            collect = !holdsNbsp;
            if (collect) collected.append(piece);
        }
        if (nextLt == npos) {
            start = end; // the tag keeps its value
        } else if (nextGt == npos) {
            // A "<" with no ">" after it: the tag is empty (the mark stays)
            // and R does not move, so every remaining repetition is this one.
            if (collect) {
                for (int left = kAnchorRepetitions - round; left > 0; --left) collected.append(piece);
            }
            break;
        } else {
            const TagSplit split = SplitTagAt(line, nextLt, nextGt);
            tag = split.tag;
            start = split.restFrom;
        }
        mark = ApplyTag(tag, mark);
        if (start >= end) break;
    }
    return collected;
}

std::string ReplaceAmpReferences(std::string_view markup) {
    std::string out;
    out.reserve(markup.size());
    AppendReplacingAmp(out, markup);
    return out;
}

PostList ReadPageLines(std::string_view markup) { return ReadPostListText(ReplaceAmpReferences(markup)); }

// "&amp;" never spans a line break or a NUL, so replacing it line by line
// gives the same lines as one pass over the whole markup, without a copy of
// the page.
PostList ExtractPostList(std::string_view markup) {
    PostList list;
    std::string replaced;
    ForEachTextLine(markup, [&](std::string_view line) {
        if (line.find(kAmp) != npos) {
            replaced.clear();
            AppendReplacingAmp(replaced, line);
            line = replaced;
        }
        if (!HoldsAnchorStart(line)) return;
        std::string text = ExtractAnchorText(line);
        if (!text.empty()) list.push_back(std::move(text));
    });
    return list;
}

} // namespace quorlan::board
