#include "capture/tcp_reassembly.h"

#include <algorithm>

namespace tarvik::capture {

namespace {
// Stream positions start here, so that a segment up to 2 GiB before the first
// one seen still has a position above zero.
constexpr std::uint64_t kOrigin = std::uint64_t{1} << 32;
} // namespace

std::uint64_t TcpReassembly::position(std::uint32_t seq) const {
    // The sequence number of next_ is isn_ + (next_ - kOrigin) modulo 2^32; a
    // segment lies within 2 GiB of it either way.
    const std::uint32_t nextSeq = static_cast<std::uint32_t>(isn_ + static_cast<std::uint32_t>(next_));
    const auto delta = static_cast<std::int32_t>(seq - nextSeq);
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(next_) + delta);
}

void TcpReassembly::syn(std::uint32_t seq) {
    if (started_ && fromSyn_ && seq + 1 == isn_) return;  // the SYN again
    if (started_) finish();
    started_ = true;
    fromSyn_ = true;
    isn_ = seq + 1;
    next_ = kOrigin;
}

void TcpReassembly::segment(std::uint32_t seq, ByteSpan payload, std::uint32_t wireLength) {
    wireLength = std::max<std::uint32_t>(wireLength, static_cast<std::uint32_t>(payload.size()));
    if (wireLength == 0) return;
    if (!started_) {
        started_ = true;
        isn_ = seq;
        next_ = kOrigin;
    }
    std::uint64_t start = position(seq);
    const std::uint64_t wireEnd = start + wireLength;
    if (wireEnd <= next_) {
        duplicates_ += wireLength;
        return;
    }
    if (start < next_) {
        // Overlaps what was delivered: only the new part counts.
        const std::uint64_t cut = next_ - start;
        duplicates_ += cut;
        payload = payload.subspan(static_cast<std::size_t>(std::min<std::uint64_t>(cut, payload.size())));
        start = next_;
    }
    if (start == next_) {
        deliver(start, payload, wireEnd);
        drain();
        return;
    }
    // Ahead of a gap: held until the gap fills, or given up as a hole.
    auto it = held_.find(start);
    if (it != held_.end()) {
        if (it->second.wireEnd >= wireEnd && it->second.data.size() >= payload.size()) {
            duplicates_ += wireLength;
            return;
        }
        forget(it);
    }
    held_[start] = Held{Bytes(payload.begin(), payload.end()), wireEnd};
    heldBytes_ += payload.size();
    heldCost_ += payload.size() + kHeldSegmentCost;
    while (heldCost_ > maxHeldBytes && !held_.empty()) {
        hole(held_.begin()->first);
        drain();
    }
}

void TcpReassembly::deliver(std::uint64_t start, ByteSpan data, std::uint64_t wireEnd) {
    // `start` is next_ here.
    if (!data.empty() && onData) onData(data);
    next_ = start + data.size();
    // Bytes the snapshot length cut off never come: they are a hole.
    if (next_ < wireEnd) hole(wireEnd);
}

void TcpReassembly::hole(std::uint64_t resumeAt) {
    if (resumeAt <= next_) return;
    ++holes_;
    if (onHole) onHole();
    next_ = resumeAt;
}

void TcpReassembly::forget(std::map<std::uint64_t, Held>::iterator it) {
    heldBytes_ -= it->second.data.size();
    heldCost_ -= it->second.data.size() + kHeldSegmentCost;
    held_.erase(it);
}

void TcpReassembly::drain() {
    while (!held_.empty()) {
        auto it = held_.begin();
        if (it->first > next_) return;
        const std::uint64_t start = it->first;
        Held h;
        h.data.swap(it->second.data);
        h.wireEnd = it->second.wireEnd;
        heldBytes_ -= h.data.size();
        heldCost_ -= h.data.size() + kHeldSegmentCost;
        held_.erase(it);
        if (h.wireEnd <= next_) {
            duplicates_ += h.wireEnd - start;
            continue;
        }
        const std::uint64_t cut = next_ - start;
        duplicates_ += cut;
        ByteSpan data(h.data);
        data = data.subspan(static_cast<std::size_t>(std::min<std::uint64_t>(cut, data.size())));
        deliver(next_, data, h.wireEnd);
    }
}

void TcpReassembly::finish() {
    while (!held_.empty()) {
        hole(held_.begin()->first);
        drain();
    }
    started_ = false;
    fromSyn_ = false;
}

} // namespace tarvik::capture
