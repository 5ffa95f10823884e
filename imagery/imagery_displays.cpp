#include "imagery/imagery_displays.h"

#include "core/frame.h"

namespace tarvik {

namespace {

constexpr std::uint32_t kSideScan = 7007, kBeamData = 7008;
// Longer pings are cut: the echogram has 1,024 columns, so nothing is lost to the eye.
constexpr std::uint32_t kMaxLine = 1u << 20;

} // namespace

std::optional<Bytes> sideScanLine(ByteSpan record) {
    if (FrameView(record).recordType() != kSideScan) return std::nullopt;
    const ByteSpan d = recordDataSection(record);
    const auto samples = readLE<std::uint32_t>(d, 22);
    const auto width = readLE<std::uint8_t>(d, 62);
    if (!samples || !width || *samples == 0) return std::nullopt;
    const std::uint32_t w = *width;
    if (w != 1 && w != 2 && w != 4) return std::nullopt;
    const std::uint64_t side = std::uint64_t{*samples} * w;
    constexpr std::uint64_t kPort = 64;
    if (!fits(d.size(), kPort, 2 * side)) return std::nullopt;
    const std::uint32_t n = std::min(*samples, kMaxLine / 2);
    // The echogram's column 0 is drawn on the right: starboard from its far end
    // inward, then port outward, so port lies on the left of the picture.
    Bytes line(2 * std::size_t{n});
    const std::uint8_t* port = d.data() + kPort;
    const std::uint8_t* starboard = port + side;
    for (std::uint32_t i = 0; i < n; ++i) {
        line[n - 1 - i] = starboard[std::size_t{i} * w + (w - 1)];  // the sample's top byte
        line[n + i] = port[std::size_t{i} * w + (w - 1)];
    }
    return line;
}

std::optional<Bytes> centreBeamLine(ByteSpan record, DataSampleTypeTable& table) {
    if (FrameView(record).recordType() != kBeamData) return std::nullopt;
    const auto beams = readBeamData(record, table);
    if (!beams || beams->subsetFlag != 0 || beams->sizes.total() == 0) return std::nullopt;
    const std::uint32_t n = std::min(beams->samples, kMaxLine);
    Bytes line(n);
    for (std::uint32_t s = 0; s < n; ++s) line[s] = beams->sample(beams->beams / 2, s);
    return line;
}

CImageryDisplays::CImageryDisplays() : sampleTypes_(dataSampleTypeTable()) {}

std::string CImageryDisplays::echogramCaption() const {
    if (echogramLines_ > 0) return {};
    return "No imagery records have arrived yet: 7007 or 7008 rows draw the echogram";
}

void CImageryDisplays::StartUp() {
    echogram_.SetColourMap(0);
    echogram_.SetRotation(0);
    echogram_.SetAspectMode(1);
    sector_.StartUp();
    if (onEchogramChanged) onEchogramChanged();
}

void CImageryDisplays::DisplayRecord(const ImageryKey& key, ByteSpan record) {
    sector_.DisplayRecord(key, record);
    feed(key, record);
}

void CImageryDisplays::FeedEchogram(const ImageryKey& key, ByteSpan record) { feed(key, record); }

void CImageryDisplays::feed(const ImageryKey& key, ByteSpan record) {
    ++recordsHandedIn_;
    std::optional<Bytes> line;
    if (key.recordType == kSideScan) {
        line = sideScanLine(record);
        if (line) sideScanSeen_ = true;
    } else if (key.recordType == kBeamData && !sideScanSeen_) {
        line = centreBeamLine(record, sampleTypes_);
    }
    if (!line) return;
    echogram_.AddPing(*line);
    ++echogramLines_;
    if (onEchogramChanged) onEchogramChanged();
}

void CImageryDisplays::Reset() {
    echogram_.Clear();
    sideScanSeen_ = false;
    echogramLines_ = 0;
    ++resets_;
    if (onEchogramChanged) onEchogramChanged();
}

} // namespace tarvik
