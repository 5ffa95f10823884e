#include "imagery/sector.h"

#include "core/frame.h"
#include "decode/catalogue/catalogue.h"
#include "decode/walker.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace tarvik {

namespace {

constexpr std::uint32_t kBeamGeometry = 7004, kSettings = 7000, kConfiguration = 7001, kVersion = 7022,
                        kRemoteSettings = 7503, kImage = 7011, kBathymetry = 7006, kBeamData = 7008;
constexpr int kBathymetryRows = 200;
constexpr std::uint32_t kBeamRows = 1024;
constexpr std::uint32_t kMaxImageSide = 32767;  // the draw call takes 16-bit sizes

bool finite(double v) { return std::isfinite(v); }

} // namespace

ByteSpan recordDataSection(ByteSpan record) {
    const FrameView frame(record);
    if (!frame.hasHeader()) return {};
    const std::uint64_t start = frame.dataStart();
    std::uint64_t end = std::min<std::uint64_t>(record.size(), frame.size());
    if (frame.hasChecksum() && end >= 4) end -= 4;
    if (frame.optionalDataOffset() > start) end = std::min<std::uint64_t>(end, frame.optionalDataOffset());
    if (start >= end) return {};
    return record.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

// ---------------------------------------------------------------- CVelkSector

bool CVelkSector::Draw(ByteSpan image, std::int16_t width, std::int16_t height) {
    if (width <= 0 || height <= 0) return false;
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (image.size() < bytes) return false;
    picture_.properties = properties_;
    picture_.image.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(bytes));
    picture_.width = width;
    picture_.height = height;
    picture_.points = points_;
    picture_.testImage = false;
    ++picture_.serial;
    if (onDraw) onDraw();
    return true;
}

// ---------------------------------------------------------- data sample types

DataSampleTypeTable dataSampleTypeTable() {
    static const DataSampleTypeTable table = [] {
        const BeamSampleLayout beamSampleLayout = builtInBeamSampleLayout();
        DataSampleTypeTable t;
        for (std::uint32_t amplitude = 0; amplitude <= 3; ++amplitude)
            for (std::uint32_t phase = 0; phase <= 3; ++phase)
                for (std::uint32_t iq = 0; iq <= 2; ++iq) {
                    const std::uint32_t type = amplitude | (phase << 4) | (iq << 8);
                    FieldValueList values;
                    values.add("Data sample type", static_cast<std::int32_t>(type));
                    const BeamSampleWidths w = beamSampleWidths(beamSampleLayout, values);
                    auto width = [&](int part) { return w.used[part] ? static_cast<std::uint32_t>(w.width[part]) : 0u; };
                    t[type] = {width(0), width(1), width(2), width(3)};
                }
        return t;
    }();
    return table;
}

std::uint8_t BeamDataRecord::sample(std::uint32_t beam, std::uint32_t s) const {
    const std::uint64_t size = sizes.total();
    if (size == 0) return 0;
    const std::uint64_t n = rowColumnFlag == 1 ? std::uint64_t{s} * beams + beam : std::uint64_t{beam} * samples + s;
    const std::uint64_t at = n * size;
    if (!fits(data.size(), at, size)) return 0;
    const std::uint8_t* p = data.data() + at;
    switch (sizes.amplitude) {
    case 1: return p[0];
    case 2: return p[1];
    case 4: return p[3];
    default: break;
    }
    if (sizes.amplitude == 0 && (sizes.i == 2 || sizes.i == 4) && sizes.q == sizes.i) {
        const ByteSpan part(p + sizes.phase, sizes.i + sizes.q);
        double i = 0, q = 0, scale = 256.0;
        if (sizes.i == 2) {
            i = readLEOr0<std::int16_t>(part, 0);
            q = readLEOr0<std::int16_t>(part, 2);
        } else {
            i = readLEOr0<std::int32_t>(part, 0);
            q = readLEOr0<std::int32_t>(part, 4);
            scale = 256.0 * 256.0 * 256.0;
        }
        const double v = std::sqrt(i * i + q * q) * 0.707 / scale;
        return static_cast<std::uint8_t>(std::min(v, 255.0));
    }
    return 0;
}

std::optional<BeamDataRecord> readBeamData(ByteSpan record, DataSampleTypeTable& table) {
    const ByteSpan d = recordDataSection(record);
    BeamDataRecord r;
    const auto beams = readLE<std::uint16_t>(d, 14);
    const auto subset = readLE<std::uint8_t>(d, 22);
    const auto rowColumn = readLE<std::uint8_t>(d, 23);
    const auto type = readLE<std::uint32_t>(d, 26);
    if (!beams || !subset || !rowColumn || !type) return std::nullopt;
    r.beams = *beams;
    r.subsetFlag = *subset;
    r.rowColumnFlag = *rowColumn;
    r.sampleType = *type;
    if (r.beams == 0 || r.beams > kMaxImageSide) return std::nullopt;
    // Unknown types are remembered with zero sizes; a stream of ever new types
    // must not grow the table without end, so past a limit they are only read as zero.
    constexpr std::size_t kMaxSampleTypes = 4096;
    if (auto it = table.find(r.sampleType); it != table.end()) r.sizes = it->second;
    else if (table.size() < kMaxSampleTypes) table.emplace(r.sampleType, SampleSizes{});

    // Samples per beam from the first descriptor (beam number, first sample, end sample).
    const std::uint64_t descriptors = 30;
    const auto first = readLE<std::uint32_t>(d, descriptors + 2);
    const auto end = readLE<std::uint32_t>(d, descriptors + 6);
    const std::uint64_t samplesAt = descriptors + 10ull * r.beams;
    if (!first || !end || samplesAt > d.size()) return std::nullopt;
    const std::uint32_t count = *end - *first + 1u;
    r.samples = count == 0 ? 300u : count;

    const std::uint64_t bytes = std::uint64_t{r.beams} * r.samples * r.sizes.total();
    if (!fits(d.size(), samplesAt, bytes)) return std::nullopt;
    r.data = d.subspan(static_cast<std::size_t>(samplesAt), static_cast<std::size_t>(bytes));
    return r;
}

// --------------------------------------------------------------- CSonarSector

CSonarSector::CSonarSector() : sampleTypes_(dataSampleTypeTable()) {}

void CSonarSector::StartUp() {
    Bytes test(143);
    for (std::size_t i = 0; i < test.size(); ++i) test[i] = (i % 2 == 0) ? 64 : 192;
    SetBeams(11);
    SetImagePresent(false);
    // Marked before the widget hears of it, so that its first paint shows the caption.
    auto notify = std::move(onDraw);
    Draw(test, 11, 13);
    markTestImage();
    onDraw = std::move(notify);
    if (onDraw) onDraw();
}

CSonarSector::Geometry CSonarSector::geometry(std::uint32_t deviceId, std::uint32_t enumerator) const {
    Geometry g;
    std::uint32_t beams = 0;
    double start = 0.0;
    if (auto it = store_.find({deviceId, enumerator, kBeamGeometry}); it != store_.end()) {
        const ByteSpan d = recordDataSection(it->second);
        if (auto n = readLE<std::uint32_t>(d, 8)) {
            beams = *n;
            // The horizontal angles follow the N vertical ones, which start at offset 12.
            if (auto angle = readLE<float>(d, 12 + 4ull * *n)) start = std::fabs(static_cast<double>(*angle)) * 57.296;
        }
    }
    g.beams = (beams < 50 || beams > 1000) ? std::int16_t{99} : static_cast<std::int16_t>(beams);
    // Not-a-number angles fail every comparison; they take the fallback too.
    if (!finite(start) || !(start >= 20.0 && start <= 180.0)) start = 59.0;
    g.start = start;
    g.end = -start;

    double range = 0.0;
    if (auto it = store_.find({deviceId, enumerator, kSettings}); it != store_.end())
        if (auto r = readLE<float>(recordDataSection(it->second), 54)) range = *r;
    g.range = (!finite(range) || !(range >= 1.0 && range <= 1'000'000.0)) ? 91.0 : range;
    return g;
}

CSonarSector::Geometry CSonarSector::applyGeometry(const ImageryKey& key) {
    const Geometry g = geometry(key.deviceId, key.systemEnumerator);
    SetBeams(g.beams);
    SetStartAngle(g.start);
    SetEndAngle(g.end);
    SetRange(g.range);
    return g;
}

void CSonarSector::DisplayRecord(const ImageryKey& key, ByteSpan record) {
    switch (key.recordType) {
    case kConfiguration: {
        // "Forward" in a device text marks a forward-looking sonar.
        constexpr std::string_view needle = "orward";
        bool forward = false;
        if (record.size() > 5) {
            const std::size_t limit = record.size() - 5;  // a match must start before the last 5 bytes
            const auto it = std::search(record.begin(), record.end(), needle.begin(), needle.end());
            forward = it != record.end() && static_cast<std::size_t>(it - record.begin()) < limit;
        }
        SetForwardLooking(forward);
        break;
    }
    case kSettings:
    case kBeamGeometry:
    case kVersion:
    case kRemoteSettings:
        store_[key].assign(record.begin(), record.end());
        break;
    case kImage: drawImage(key, record); break;
    case kBathymetry: drawBathymetry(key, record); break;
    case kBeamData: drawBeamData(key, record); break;
    default: break;
    }
}

void CSonarSector::drawImage(const ImageryKey& key, ByteSpan record) {
    ShowWindow();
    const Geometry g = applyGeometry(key);
    SetRange(g.range);
    const ByteSpan d = recordDataSection(record);
    const auto width = readLE<std::uint32_t>(d, 6);
    const auto height = readLE<std::uint32_t>(d, 10);
    const auto order = readLE<std::uint16_t>(d, 16);
    if (!width || !height || !order) return;
    const std::uint32_t w = *width, h = *height;
    if (w == 0 || h == 0 || w > kMaxImageSide || h > kMaxImageSide) return;
    // The pixels follow the 56-byte fixed part in both orders, as the record layout places them.
    constexpr std::uint64_t kPixels = 56;
    const std::uint64_t count = std::uint64_t{w} * h;
    if (!fits(d.size(), kPixels, count)) return;
    const ByteSpan pixels = d.subspan(kPixels, static_cast<std::size_t>(count));

    Bytes image;
    if (*order == 0) {
        image.assign(pixels.begin(), pixels.end());
    } else {
        image.reserve(pixels.size());
        for (std::uint32_t j = 0; j < w; ++j)
            for (std::uint32_t k = 0; k < h; ++k) image.push_back(pixels[j + std::size_t{k} * w]);
    }
    SetImagePresent(true);
    SetForwardLooking(false);
    Draw(image, static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
}

void CSonarSector::drawBathymetry(const ImageryKey& key, ByteSpan record) {
    ShowWindow();
    const Geometry g = applyGeometry(key);
    const ByteSpan d = recordDataSection(record);
    const auto soundings = readLE<std::uint16_t>(d, 14);
    const auto velocity = readLE<float>(d, 20);
    if (!soundings || !velocity || *soundings == 0 || *soundings > kMaxImageSide) return;
    const std::uint32_t n = *soundings;
    if (!fits(d.size(), 24, 4ull * n)) return;

    // The round trip over the whole range, in seconds.
    const double fullRange = (g.range + g.range) / static_cast<double>(*velocity);
    Bytes image(std::size_t{n} * kBathymetryRows, 0);
    std::vector<SectorPoint> points;
    for (std::uint32_t i = 0; i < n; ++i) {
        const double t = readLEOr0<float>(d, 24 + 4ull * i);
        const double row = t * 199.0 / fullRange;
        // Rows outside 0..199 (and times or velocities that are not numbers) are not marked.
        if (!(row >= 0.0 && row < kBathymetryRows)) continue;
        const auto r = static_cast<std::size_t>(row);
        image[r * n + i] = 255;
        points.push_back({(static_cast<float>(i) + 0.5f) / static_cast<float>(n),
                          static_cast<float>(row / (kBathymetryRows - 1))});
    }
    setPoints(std::move(points));
    SetBeams(static_cast<std::int16_t>(n));
    SetImagePresent(true);
    SetForwardLooking(false);
    SetRange(g.range);
    Draw(image, static_cast<std::int16_t>(n), kBathymetryRows);
}

void CSonarSector::drawBeamData(const ImageryKey& key, ByteSpan record) {
    ShowWindow();
    const Geometry g = applyGeometry(key);
    SetRange(g.range);
    const std::optional<BeamDataRecord> beams = readBeamData(record, sampleTypes_);
    if (!beams || beams->subsetFlag != 0) return;

    const std::uint32_t n = beams->beams, s = beams->samples;
    Bytes image(std::size_t{n} * kBeamRows, 0);
    if (beams->sizes.total() != 0) {
        // Each beam's samples onto 1,024 rows, keeping the largest that falls on a row.
        std::vector<std::uint32_t> rowOf(s);
        for (std::uint32_t k = 0; k < s; ++k)
            rowOf[k] = std::min<std::uint32_t>(static_cast<std::uint32_t>(k * 1024.0 / s + 0.01), kBeamRows - 1);
        const std::uint32_t amplitude = beams->sizes.amplitude;
        if (amplitude == 1 || amplitude == 2 || amplitude == 4) {
            // The amplitude's top byte, read in place: the common case, kept fast.
            const std::size_t size = beams->sizes.total();
            const bool sampleMajor = beams->rowColumnFlag == 1;
            const std::size_t beamStep = sampleMajor ? size : std::size_t{s} * size;
            const std::size_t sampleStep = sampleMajor ? std::size_t{n} * size : size;
            for (std::uint32_t b = 0; b < n; ++b) {
                const std::uint8_t* p = beams->data.data() + b * beamStep + (amplitude - 1);
                for (std::uint32_t k = 0; k < s; ++k, p += sampleStep) {
                    std::uint8_t& cell = image[std::size_t{rowOf[k]} * n + b];
                    cell = std::max(cell, *p);
                }
            }
        } else {
            for (std::uint32_t b = 0; b < n; ++b)
                for (std::uint32_t k = 0; k < s; ++k) {
                    std::uint8_t& cell = image[std::size_t{rowOf[k]} * n + b];
                    cell = std::max(cell, beams->sample(b, k));
                }
        }
    }
    Draw(image, static_cast<std::int16_t>(n), static_cast<std::int16_t>(kBeamRows));
}

} // namespace tarvik
