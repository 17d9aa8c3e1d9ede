#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace quorlan::server::pg {

// Every message between the instances of a cluster, once: its fields in the
// order they travel. Standard library only, so the fuzz build can compile the
// parser on its own.

// On the shared channels (posts, notices, members) every instance hears each
// message. The payload is the sender's node id, the board and a text,
// separated by NUL (which no node id, address, post line or notice holds).
struct Broadcast {
    std::string node;
    std::string board;
    std::string text; // the post line or the notice; empty for members
    bool operator==(const Broadcast&) const = default;
};

// Orders go to the channel of the one instance concerned. They carry lists a
// client reported, which may hold any byte: the payload is a run of fields,
// each its length in decimal (at most five digits), ':', then its bytes. The
// first field names the order; a number is decimal, a flag "1" or "0", and
// an optional field comes last.

// The owner of a board asks a client of another instance for a check (or a
// baseline), with the list to check against when it fits.
struct AskOrder {
    static constexpr std::string_view kName = "ask";
    std::string owner;         // the owner's node id
    std::uint64_t ownerId = 0; // the owner's id for the client
    std::string board;
    std::uint64_t connection = 0; // the client's id on its own instance
    bool baseline = false;
    std::optional<std::string> list;
    template <class V> void Visit(V&& v) { v(owner), v(ownerId), v(board), v(connection), v(baseline), v(list); }
    bool operator==(const AskOrder&) const = default;
};

// How an ask went, back to the owner: answered (with the reported list, when
// it came along and fits) or not.
struct OutcomeOrder {
    static constexpr std::string_view kName = "outcome";
    std::uint64_t ownerId = 0;
    std::string board;
    bool baseline = false;
    bool answered = false;
    std::optional<std::string> list;
    template <class V> void Visit(V&& v) { v(ownerId), v(board), v(baseline), v(answered), v(list); }
    bool operator==(const OutcomeOrder&) const = default;
};

// A text message for a relay of the receiving instance, which answers with
// an SmsTakenOrder of the same number.
struct SmsOrder {
    static constexpr std::string_view kName = "sms";
    std::string sender; // node id
    std::uint64_t order = 0;
    std::string phone;
    std::string line;
    template <class V> void Visit(V&& v) { v(sender), v(order), v(phone), v(line); }
    bool operator==(const SmsOrder&) const = default;
};

struct SmsTakenOrder {
    static constexpr std::string_view kName = "sms_taken";
    std::uint64_t order = 0;
    bool taken = false;
    template <class V> void Visit(V&& v) { v(order), v(taken); }
    bool operator==(const SmsTakenOrder&) const = default;
};

using Order = std::variant<AskOrder, OutcomeOrder, SmsOrder, SmsTakenOrder>;

std::string EncodeBroadcast(const Broadcast& message);
std::optional<Broadcast> DecodeBroadcast(std::string_view payload);

// The payload of an order. A list that would make it longer than
// `maxPayload` is left out: the receiver then uses the list it holds. The
// result may still pass `maxPayload` (the bus refuses it then).
std::string EncodeOrder(Order order, std::size_t maxPayload);
// Nothing for a payload that is not an order: an unknown name, a field
// missing or left over, a number or flag that is not one.
std::optional<Order> DecodeOrder(std::string_view payload);

} // namespace quorlan::server::pg
