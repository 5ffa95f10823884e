#include "decode/report_byte_map.h"

#include "core/frame.h"

#include <algorithm>

namespace tarvik {

namespace {
constexpr std::string_view kEndOfHeader = " - - - - - - -End of Data Record Frame- - - - - - - ";
}

void ReportByteMap::build(const std::vector<std::string>& lines, const std::vector<WalkedField>& fields,
                          std::size_t frameSize) {
    clear();
    lineBytes_.resize(lines.size());
    // Lines up to the end of the frame header stand for the header.
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != kEndOfHeader) continue;
        headerLines_ = i + 1;
        for (std::size_t h = 0; h < headerLines_; ++h)
            lineBytes_[h] = ByteRange{0, std::min(kFrameHeaderSize, frameSize)};
        break;
    }
    for (const WalkedField& f : fields) {
        if (f.width <= 0 || f.offset < 0 || f.lineEnd <= f.lineBegin) continue;
        const auto offset = static_cast<std::size_t>(f.offset);
        if (offset >= frameSize) continue;
        const ByteRange range{offset, std::min(static_cast<std::size_t>(f.width), frameSize - offset)};
        for (std::size_t l = f.lineBegin; l < f.lineEnd && l < lineBytes_.size(); ++l)
            if (!lineBytes_[l] || lineBytes_[l]->count > range.count) lineBytes_[l] = range;
        spans_.push_back({range, f.lineEnd - 1});
    }
    // The checksum verdict names the last four bytes.
    if (frameSize >= kFrameHeaderSize + 4)
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (!lineBytes_[i] && (lines[i].starts_with("Checksum field") || lines[i].starts_with("! ! ! ! CHECKSUM")))
                lineBytes_[i] = ByteRange{frameSize - 4, 4};
    std::stable_sort(spans_.begin(), spans_.end(),
                     [](const Span& a, const Span& b) { return a.bytes.count < b.bytes.count; });
}

std::optional<ByteRange> ReportByteMap::bytesOfLine(std::size_t line) const {
    return line < lineBytes_.size() ? lineBytes_[line] : std::nullopt;
}

std::optional<std::size_t> ReportByteMap::lineOfByte(std::size_t offset) const {
    for (const Span& s : spans_)
        if (offset >= s.bytes.offset && offset - s.bytes.offset < s.bytes.count) return s.line;
    if (offset < kFrameHeaderSize && headerLines_ > 0) return std::size_t{0};
    return std::nullopt;
}

} // namespace tarvik
