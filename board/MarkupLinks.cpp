#include "MarkupLinks.h"

#include "base/Cp949.h"

#include <gumbo.h>

#include <algorithm>
#include <memory>

namespace quorlan::board {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSchemeChar(char c) { return IsAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

// An address split as RFC 3986 does; query and fragment keep their "?"/"#".
struct UrlParts {
    std::string scheme;
    bool hasAuthority = false;
    std::string authority;
    std::string path;
    std::string query;
    std::string fragment;
};

UrlParts Split(std::string_view url) {
    UrlParts parts;
    std::size_t at = 0;
    if (!url.empty() && IsAlpha(url[0])) {
        std::size_t end = 1;
        while (end < url.size() && IsSchemeChar(url[end])) ++end;
        if (end < url.size() && url[end] == ':') {
            for (std::size_t i = 0; i < end; ++i) parts.scheme += LowerAscii(url[i]);
            at = end + 1;
        }
    }
    if (url.substr(at, 2) == "//") {
        parts.hasAuthority = true;
        const std::size_t end = url.find_first_of("/?#", at + 2);
        parts.authority = url.substr(at + 2, end == std::string_view::npos ? std::string_view::npos : end - at - 2);
        at = end == std::string_view::npos ? url.size() : end;
    }
    const std::size_t pathEnd = std::min(url.find_first_of("?#", at), url.size());
    parts.path = url.substr(at, pathEnd - at);
    at = pathEnd;
    if (at < url.size() && url[at] == '?') {
        const std::size_t end = std::min(url.find('#', at), url.size());
        parts.query = url.substr(at, end - at);
        at = end;
    }
    parts.fragment = url.substr(at);
    return parts;
}

std::string RemoveDotSegments(std::string_view path) {
    std::string out;
    while (!path.empty()) {
        if (path.starts_with("../")) {
            path.remove_prefix(3);
        } else if (path.starts_with("./")) {
            path.remove_prefix(2);
        } else if (path.starts_with("/./")) {
            path.remove_prefix(2);
        } else if (path == "/.") {
            path = "/";
        } else if (path.starts_with("/../") || path == "/..") {
            path = path.size() == 3 ? std::string_view("/") : path.substr(3);
            const std::size_t slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            const std::size_t end = std::min(path.find('/', path[0] == '/' ? 1 : 0), path.size());
            out += path.substr(0, end);
            path.remove_prefix(end);
        }
    }
    return out;
}

std::string Join(const UrlParts& parts) {
    std::string url;
    if (!parts.scheme.empty()) url += parts.scheme + ":";
    if (parts.hasAuthority) url += "//" + parts.authority;
    url += parts.path;
    return url + parts.query + parts.fragment;
}

// Deeper elements are not walked (browsers' parsers stop nesting there too).
constexpr std::size_t kMaxDepth = 512;
// Indices are capped here, as the page script writes each as one UTF-16 code
// unit below the surrogates.
constexpr int kMaxIndex = 0xD7FF;

struct Collector {
    std::string_view pageUrl;
    std::vector<LinkRecord> links;
    std::vector<int> path;

    static void AppendText(const GumboNode& node, std::string& text) {
        if (node.type == GUMBO_NODE_TEXT || node.type == GUMBO_NODE_WHITESPACE || node.type == GUMBO_NODE_CDATA) {
            text += node.v.text.text;
            return;
        }
        if (node.type != GUMBO_NODE_ELEMENT && node.type != GUMBO_NODE_TEMPLATE) return;
        const GumboTag tag = node.v.element.tag;
        if (tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE) return;
        const GumboVector& children = node.v.element.children;
        for (unsigned i = 0; i < children.length; ++i) AppendText(*static_cast<GumboNode*>(children.data[i]), text);
    }

    void Link(const GumboNode& node) {
        const GumboAttribute* href = gumbo_get_attribute(&node.v.element.attributes, "href");
        if (!href) return;
        std::string_view raw = href->value;
        while (!raw.empty() && IsTrimmed(raw.front())) raw.remove_prefix(1);
        if (raw.starts_with('#')) return;
        std::string resolved = ResolveUrl(pageUrl, raw);
        if (!resolved.starts_with("http://") && !resolved.starts_with("https://")) return;
        LinkRecord link{std::move(resolved), {}, path};
        AppendText(node, link.text);
        links.push_back(std::move(link));
    }

    void Walk(const GumboVector& children) {
        int index = 0;
        for (unsigned i = 0; i < children.length; ++i) {
            const GumboNode& child = *static_cast<GumboNode*>(children.data[i]);
            if (child.type != GUMBO_NODE_ELEMENT && child.type != GUMBO_NODE_TEMPLATE) continue;
            path.push_back(std::min(index++, kMaxIndex));
            const GumboTag tag = child.v.element.tag;
            if (tag == GUMBO_TAG_A) Link(child);
            if (tag != GUMBO_TAG_NOSCRIPT && path.size() < kMaxDepth) Walk(child.v.element.children);
            path.pop_back();
        }
    }
};

} // namespace

std::string ResolveUrl(std::string_view base, std::string_view ref) {
    // Tabs and line breaks inside an address are dropped, as browsers do.
    std::string cleaned;
    for (char c : ref) {
        if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
    }
    std::string_view trimmed = cleaned;
    while (!trimmed.empty() && IsTrimmed(trimmed.front())) trimmed.remove_prefix(1);
    while (!trimmed.empty() && IsTrimmed(trimmed.back())) trimmed.remove_suffix(1);

    const UrlParts r = Split(trimmed);
    const UrlParts b = Split(base);
    UrlParts t;
    if (!r.scheme.empty()) {
        t = r;
        t.path = RemoveDotSegments(r.path);
    } else {
        t.scheme = b.scheme;
        if (r.hasAuthority) {
            t.hasAuthority = true;
            t.authority = r.authority;
            t.path = RemoveDotSegments(r.path);
            t.query = r.query;
        } else {
            t.hasAuthority = b.hasAuthority;
            t.authority = b.authority;
            if (r.path.empty()) {
                t.path = b.path;
                t.query = r.query.empty() ? b.query : r.query;
            } else {
                if (r.path.starts_with('/')) {
                    t.path = RemoveDotSegments(r.path);
                } else if (b.hasAuthority && b.path.empty()) {
                    t.path = RemoveDotSegments("/" + r.path);
                } else {
                    const std::size_t slash = b.path.rfind('/');
                    t.path = RemoveDotSegments((slash == std::string::npos ? "" : b.path.substr(0, slash + 1)) + r.path);
                }
                t.query = r.query;
            }
        }
        t.fragment = r.fragment;
    }
    if ((t.scheme == "http" || t.scheme == "https") && t.hasAuthority && t.path.empty()) t.path = "/";
    return Join(t);
}

std::vector<LinkRecord> CollectMarkupLinks(std::string_view markup, std::string_view pageUrl) {
    const std::string utf8 = base::Utf8FromCp949(markup);
    std::unique_ptr<GumboOutput, void (*)(GumboOutput*)> output(
        gumbo_parse_with_options(&kGumboDefaultOptions, utf8.data(), utf8.size()),
        [](GumboOutput* parsed) { gumbo_destroy_output(&kGumboDefaultOptions, parsed); });
    Collector collector{pageUrl, {}, {}};
    if (output) collector.Walk(output->document->v.document.children);
    return std::move(collector.links);
}

} // namespace quorlan::board

namespace quorlan::board {

PostList ExtractPostList(std::string_view markup, std::string_view pageUrl) {
    return PostLines(FindPagePosts(CollectMarkupLinks(markup, pageUrl)));
}

} // namespace quorlan::board
