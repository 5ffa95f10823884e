#include "net/packet_assembly.h"

#include <cstring>

namespace tarvik::net {

void CPacketAssembly::Start(const CPacketCollectionKey& key, std::uint32_t totalSize) {
    active_ = true;
    packets_ = 0;
    bytes_ = 0;
    key_ = key;
    totalSize_ = totalSize;
    if (totalSize > capacity_) {
        buffer_.reset();  // free the old buffer before taking the new one
        buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(totalSize);
        capacity_ = totalSize;
    }
}

bool CPacketAssembly::Append(ByteSpan payload) {
    if (!fits(totalSize_, bytes_, payload.size())) return false;
    if (!payload.empty()) std::memcpy(buffer_.get() + bytes_, payload.data(), payload.size());
    bytes_ += static_cast<std::uint32_t>(payload.size());
    ++packets_;
    return true;
}

} // namespace tarvik::net
