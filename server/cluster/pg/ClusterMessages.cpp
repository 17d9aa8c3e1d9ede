#include "ClusterMessages.h"

#include <charconv>
#include <vector>

namespace quorlan::server::pg {
namespace {

constexpr char kSeparator = '\0';
constexpr std::size_t kMaxLengthDigits = 5;

class FieldWriter {
public:
    explicit FieldWriter(std::string_view name) { Field(name); }
    void operator()(const std::string& text) { Field(text); }
    void operator()(std::uint64_t number) { Field(std::to_string(number)); }
    void operator()(bool flag) { Field(flag ? "1" : "0"); }
    void operator()(const std::optional<std::string>& text) {
        if (text) Field(*text);
    }
    std::string Take() { return std::move(payload_); }

private:
    void Field(std::string_view bytes) {
        payload_ += std::to_string(bytes.size());
        payload_ += ':';
        payload_ += bytes;
    }
    std::string payload_;
};

std::optional<std::vector<std::string_view>> SplitFields(std::string_view payload) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < payload.size()) {
        const auto colon = payload.find(':', at);
        if (colon == std::string_view::npos || colon == at || colon - at > kMaxLengthDigits) return std::nullopt;
        std::size_t length = 0;
        const auto parsed = std::from_chars(payload.data() + at, payload.data() + colon, length);
        if (parsed.ec != std::errc() || parsed.ptr != payload.data() + colon) return std::nullopt;
        if (length > payload.size() - colon - 1) return std::nullopt;
        fields.push_back(payload.substr(colon + 1, length));
        at = colon + 1 + length;
    }
    return fields;
}

// Reads the fields after the name into an order's members, in their order;
// `ok` is false once one is missing or malformed.
class FieldReader {
public:
    explicit FieldReader(const std::vector<std::string_view>& fields) : fields_(fields) {}
    void operator()(std::string& text) {
        if (const auto field = Next()) text = *field;
    }
    void operator()(std::uint64_t& number) {
        const auto field = Next();
        if (!field) return;
        const auto parsed = std::from_chars(field->data(), field->data() + field->size(), number);
        if (field->empty() || parsed.ec != std::errc() || parsed.ptr != field->data() + field->size()) ok = false;
    }
    void operator()(bool& flag) {
        const auto field = Next();
        if (!field) return;
        if (*field != "0" && *field != "1") ok = false;
        flag = *field == "1";
    }
    void operator()(std::optional<std::string>& text) {
        if (at_ < fields_.size()) text = std::string(fields_[at_++]);
    }
    bool Done() const { return ok && at_ == fields_.size(); }
    bool ok = true;

private:
    std::optional<std::string_view> Next() {
        if (at_ == fields_.size()) {
            ok = false;
            return std::nullopt;
        }
        return fields_[at_++];
    }
    const std::vector<std::string_view>& fields_;
    std::size_t at_ = 1; // after the name
};

template <std::size_t I = 0> std::optional<Order> DecodeAs(const std::vector<std::string_view>& fields) {
    if constexpr (I == std::variant_size_v<Order>) {
        return std::nullopt;
    } else {
        using Kind = std::variant_alternative_t<I, Order>;
        if (fields[0] != Kind::kName) return DecodeAs<I + 1>(fields);
        Kind order;
        FieldReader reader(fields);
        order.Visit(reader);
        if (!reader.Done()) return std::nullopt;
        return Order(std::move(order));
    }
}

} // namespace

std::string EncodeBroadcast(const Broadcast& message) {
    std::string payload = message.node;
    payload += kSeparator;
    payload += message.board;
    payload += kSeparator;
    payload += message.text;
    return payload;
}

std::optional<Broadcast> DecodeBroadcast(std::string_view payload) {
    const auto a = payload.find(kSeparator);
    if (a == std::string_view::npos) return std::nullopt;
    const auto b = payload.find(kSeparator, a + 1);
    if (b == std::string_view::npos) return std::nullopt;
    return Broadcast{std::string(payload.substr(0, a)), std::string(payload.substr(a + 1, b - a - 1)),
                     std::string(payload.substr(b + 1))};
}

std::string EncodeOrder(Order order, std::size_t maxPayload) {
    const auto encode = [](auto& typed) {
        FieldWriter writer(typed.kName);
        typed.Visit(writer);
        return writer.Take();
    };
    return std::visit(
        [&](auto& typed) {
            std::string payload = encode(typed);
            if constexpr (requires { typed.list; }) {
                if (payload.size() > maxPayload && typed.list) {
                    typed.list.reset();
                    payload = encode(typed);
                }
            }
            return payload;
        },
        order);
}

std::optional<Order> DecodeOrder(std::string_view payload) {
    const auto fields = SplitFields(payload);
    if (!fields || fields->empty()) return std::nullopt;
    return DecodeAs(*fields);
}

} // namespace quorlan::server::pg
