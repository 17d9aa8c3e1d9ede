#include "tools/testweb/PostInput.h"

#include "base/Cp949.h"
#include "tools/testweb/QueryString.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace quorlan::testweb {
namespace {

struct RawFields {
    std::optional<std::string> title;
    std::optional<std::string> writer;
    std::string error;
};

RawFields FromJson(std::string_view body) {
    RawFields fields;
    const nlohmann::json doc = nlohmann::json::parse(body, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        fields.error = "body is not a JSON object";
        return fields;
    }
    for (const char* key : {"title", "writer"}) {
        const auto it = doc.find(key);
        if (it == doc.end() || it->is_null()) continue;
        if (!it->is_string()) {
            fields.error = std::string("\"") + key + "\" must be a string";
            return fields;
        }
        (std::string_view(key) == "title" ? fields.title : fields.writer) = it->get<std::string>();
    }
    return fields;
}

RawFields FromForm(std::string_view body, std::string_view query) {
    const std::vector<QueryParam> form = ParseQuery(body);
    const std::vector<QueryParam> inQuery = ParseQuery(query);
    RawFields fields;
    fields.title = FindParam(form, "title");
    if (!fields.title) fields.title = FindParam(inQuery, "title");
    fields.writer = FindParam(form, "writer");
    if (!fields.writer) fields.writer = FindParam(inQuery, "writer");
    return fields;
}

} // namespace

std::string CleanLine(std::string_view utf8) {
    std::string line(utf8);
    for (char& c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = line.find_last_not_of(' ');
    return line.substr(first, last - first + 1);
}

PostInput ReadPostInput(std::string_view contentType, std::string_view body, std::string_view query) {
    const bool json = contentType.find("json") != std::string_view::npos;
    const RawFields fields = json ? FromJson(body) : FromForm(body, query);
    PostInput input;
    if (!fields.error.empty()) {
        input.error = fields.error;
        return input;
    }
    input.title = base::Cp949FromUtf8(CleanLine(fields.title.value_or("")));
    input.writer = base::Cp949FromUtf8(CleanLine(fields.writer.value_or("")));
    if (input.writer.empty()) input.writer = QUORLAN_CP949("손님");
    if (input.title.empty()) {
        input.error = "\"title\" is missing or empty";
    } else if (input.title.size() > kMaxTitleBytes) {
        input.error = "\"title\" is longer than " + std::to_string(kMaxTitleBytes) + " bytes in cp949";
    } else if (input.writer.size() > kMaxWriterBytes) {
        input.error = "\"writer\" is longer than " + std::to_string(kMaxWriterBytes) + " bytes in cp949";
    }
    return input;
}

} // namespace quorlan::testweb
