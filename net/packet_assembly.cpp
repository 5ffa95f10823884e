#include "net/packet_assembly.h"

#include <algorithm>


namespace tarvik::net {

void CPacketAssembly::Start(const CPacketCollectionKey& key, std::uint32_t totalSize) {
    active_ = true;
    packets_ = 0;
    bytes_ = 0;
    key_ = key;
    totalSize_ = totalSize;
    // The buffer grows with the bytes that arrive, never to what a packet
    // announces: a peer (or a capture) announcing huge records costs only the
    // bytes it actually sends. A buffer left from an abandoned record is
    // reused.
    buffer_.clear();
    capacity_ = static_cast<std::uint32_t>(buffer_.capacity());
}

bool CPacketAssembly::Append(ByteSpan payload) {
    if (!active_ || !fits(totalSize_, bytes_, payload.size())) return false;
    if (buffer_.capacity() - buffer_.size() < payload.size()) {
        // Growing fourfold keeps the copies few (a 1 MB record is moved twice,
        // 320 kB in all) while a peer that announces more than it sends holds
        // at most four times what came; the announced total bounds it, so a
        // record that arrives whole never holds more than its size.
        const std::size_t needed = buffer_.size() + payload.size();
        buffer_.reserve(std::max(needed, std::min<std::size_t>(4 * buffer_.capacity(), totalSize_)));
    }
    buffer_.insert(buffer_.end(), payload.begin(), payload.end());
    capacity_ = static_cast<std::uint32_t>(buffer_.capacity());
    bytes_ += static_cast<std::uint32_t>(payload.size());
    ++packets_;
    return true;
}

} // namespace tarvik::net

namespace tarvik::net {

Bytes CPacketAssembly::takeRecord() {
    Bytes whole;
    whole.swap(buffer_);
    capacity_ = 0;
    bytes_ = 0;
    return whole;
}

} // namespace tarvik::net
