#include "net/packet_assembly.h"


namespace tarvik::net {

void CPacketAssembly::Start(const CPacketCollectionKey& key, std::uint32_t totalSize) {
    active_ = true;
    packets_ = 0;
    bytes_ = 0;
    key_ = key;
    totalSize_ = totalSize;
    buffer_.clear();
    if (totalSize > buffer_.capacity()) {
        Bytes().swap(buffer_);  // free the old buffer before taking the new one
        // Reserved, not filled: an announced size costs nothing until bytes arrive.
        buffer_.reserve(totalSize);
    }
    capacity_ = static_cast<std::uint32_t>(buffer_.capacity());
}

bool CPacketAssembly::Append(ByteSpan payload) {
    if (!active_ || !fits(totalSize_, bytes_, payload.size())) return false;
    buffer_.insert(buffer_.end(), payload.begin(), payload.end());
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
