#pragma once
#include <array>
#include <cstdint>

namespace quorlan::net {

// Receive queue between the socket's read handler and the framing tick: a fixed
// 8,192-byte ring. One slot always stays free so that a full queue never looks
// empty, so at most 8,191 bytes are ever queued.
class TBufferClass {
public:
    static constexpr int kStorage = 8192;
    static constexpr int kCapacity = kStorage - 1;

    int Size() const;
    int Free() const { return kCapacity - Size(); }
    // All count bytes are queued, or nothing is (false).
    bool Append(int count, const std::uint8_t* source);
    // Removes up to count bytes from the head; returns how many.
    int Read(int count, std::uint8_t* destination);
    // Zero-fills count bytes of destination, then copies count bytes from the
    // head without removing them. The caller checks Size() first.
    int Peek(int count, std::uint8_t* destination) const;
    void Clear() { head_ = tail_ = 0; }

    int Head() const { return head_; }
    int Tail() const { return tail_; }
    // Positions the empty ring at index (tests reach the wrap-around this way).
    void ResetAt(int index) { head_ = tail_ = index; }

private:
    void CopyOut(int count, std::uint8_t* destination) const;
    static int Advance(int index, int count);

    std::array<std::uint8_t, kStorage> storage_{};
    std::int32_t head_ = 0;
    std::int32_t tail_ = 0;
};

} // namespace quorlan::net
