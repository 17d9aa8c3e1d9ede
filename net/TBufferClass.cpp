#include "TBufferClass.h"

#include <cstring>

namespace quorlan::net {

int TBufferClass::Size() const {
    if (tail_ > head_) return tail_ - head_;
    if (tail_ < head_) return tail_ - head_ + kStorage;
    return 0;
}

int TBufferClass::Advance(int index, int count) {
    index += count;
    if (index >= kStorage) index -= kStorage;
    return index;
}

bool TBufferClass::Append(int count, const std::uint8_t* source) {
    if (count < 0 || count > kCapacity - Size()) return false;
    if (count == 0) return true;
    if (tail_ + count <= kStorage) {
        std::memcpy(storage_.data() + tail_, source, static_cast<std::size_t>(count));
    } else {
        const int first = kStorage - tail_;
        std::memcpy(storage_.data() + tail_, source, static_cast<std::size_t>(first));
        std::memcpy(storage_.data(), source + first, static_cast<std::size_t>(count - first));
    }
    tail_ = Advance(tail_, count);
    return true;
}

void TBufferClass::CopyOut(int count, std::uint8_t* destination) const {
    if (head_ + count <= kStorage) {
        std::memcpy(destination, storage_.data() + head_, static_cast<std::size_t>(count));
    } else {
        const int first = kStorage - head_;
        std::memcpy(destination, storage_.data() + head_, static_cast<std::size_t>(first));
        std::memcpy(destination + first, storage_.data(), static_cast<std::size_t>(count - first));
    }
}

int TBufferClass::Read(int count, std::uint8_t* destination) {
    const int avail = Size();
    if (avail == 0 || count <= 0) return 0;
    const int n = count < avail ? count : avail;
    CopyOut(n, destination);
    head_ = Advance(head_, n);
    return n;
}

int TBufferClass::Peek(int count, std::uint8_t* destination) const {
    if (count <= 0) return 0;
    std::memset(destination, 0, static_cast<std::size_t>(count));
    if (count >= kStorage) return 0;
    CopyOut(count, destination);
    return count;
}

} // namespace quorlan::net
