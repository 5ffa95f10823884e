#include "decode/beamformed.h"

#include "core/frame.h"
#include "core/text.h"
#include "decode/field_format.h"

#include <algorithm>

namespace tarvik {

namespace {

constexpr std::int32_t kMaxBeams = 1000;
constexpr std::int64_t kMaxSamples = 100'000;
constexpr std::size_t kShownBeams = 4;
constexpr std::int64_t kShownSamples = 4;
constexpr std::int64_t kSamplesPerLine = 50;

std::int32_t amplitudeOrPhaseBytes(std::uint32_t code) {
    switch (code) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 4;
    default: return static_cast<std::int32_t>(code);
    }
}

std::int32_t iqBytes(std::uint32_t code) {
    switch (code) {
    case 1: return 2;
    case 2: return 4;
    default: return static_cast<std::int32_t>(code);
    }
}

} // namespace

void BeamformedState::prepare(ByteSpan record) {
    const FrameView frame(record);
    const std::uint64_t d = frame.offset() == 0 ? 64 : frame.dataStart();
    *this = {};
    recordSize = frame.size();
    optionalLocation = frame.optionalDataOffset();
    beams = readLEOr0<std::uint16_t>(record, d + 14);
    samples = readLEOr0<std::int32_t>(record, d + 18);
    subsetFlag = readLEOr0<std::uint8_t>(record, d + 22);
    rowColumnFlag = readLEOr0<std::uint8_t>(record, d + 23);
    sampleType = readLEOr0<std::uint32_t>(record, d + 26);
    amplitudeBytes = amplitudeOrPhaseBytes(sampleType & 0xF);
    phaseBytes = amplitudeOrPhaseBytes((sampleType >> 4) & 0xF);
    iBytes = qBytes = iqBytes((sampleType >> 8) & 0xF);
    beamDataLocation = -1;
}

void BeamformedState::notePreparedBytes(ByteSpan record, std::vector<WalkTrace::Source>& out) {
    const FrameView frame(record);
    const std::int64_t d = frame.offset() == 0 ? 64 : static_cast<std::int64_t>(frame.dataStart());
    out.push_back({0, 4});    // Offset, read above
    out.push_back({8, 8});    // Size and the optional data offset
    out.push_back({d + 14, 2});
    out.push_back({d + 18, 6});
    out.push_back({d + 26, 4});
}

void BeamformedState::check(std::vector<std::string>& lines) {
    if (beams > kMaxBeams) lines.push_back(strprintf("7008 Beam count bad %d ", beams));
    if (samples > kMaxSamples || samples < 0) lines.push_back(strprintf(" 7008 Sample count bad %ld ", long(samples)));
    if (recordSize < optionalLocation)
        lines.push_back(strprintf(" 7008 Record size %lu less than loc optional data %lu ", (unsigned long)recordSize,
                                  (unsigned long)optionalLocation));
    if (amplitudeBytes > 4) lines.push_back(strprintf(" 7008 Unreasonable bytes for amplitude %d ", amplitudeBytes));
    if (phaseBytes > 4) lines.push_back(strprintf(" 7008 Unreasonable bytes for phase %d ", phaseBytes));
    if (iBytes > 4) lines.push_back(strprintf(" 7008 Unreasonable bytes for I %d ", iBytes));
    if (qBytes > 4) lines.push_back(strprintf(" 7008 Unreasonable bytes for Q %d ", qBytes));
    if (rowColumnFlag > 1) lines.push_back(strprintf(" 7008 Row/column flag gt 1 %d ", int(rowColumnFlag)));
    if (subsetFlag > 1) lines.push_back(strprintf(" 7008 subset flag gt 1 %d ", int(subsetFlag)));
    if (beamDataLocation >= 0 && beamDataLocation > recordSize)
        lines.push_back(strprintf(" 7008 Ping loc %lu beyond record size %lu ", (unsigned long)beamDataLocation,
                                  (unsigned long)recordSize));
    if (optionalLocation != 0 && beamDataLocation >= 0 && optionalLocation < beamDataLocation)
        lines.push_back(strprintf(" 7008 optional loc %lu after start of ping %lu ", (unsigned long)optionalLocation,
                                  (unsigned long)beamDataLocation));
    if (descriptors.size() != static_cast<std::size_t>(beams))
        lines.push_back(strprintf(" 7008 beam descriptor count=%lu not equal to beam count=%d ",
                                  (unsigned long)descriptors.size(), beams));
    if (subsetFlag == 1 && rowColumnFlag == 1)
        lines.emplace_back(" 7008 Data subsetted, but row/column flag turned on ");
    lines.emplace_back();

    beamDataLocation = 94 + 10 * std::int64_t{beams};
    const std::int64_t expected = std::int64_t{samples} * beams * sampleSize() + beamDataLocation;
    if (samples != 0 && expected != recordSize && expected + 4 != recordSize)
        lines.push_back(strprintf(" 7008 Accumulated element size %lu doesn't equal specified record size %lu ",
                                  (unsigned long)expected, (unsigned long)recordSize));
    if (descriptors.empty()) return;

    const std::uint32_t firstBeam = descriptors.front().beam;
    if (firstBeam >= static_cast<std::uint32_t>(beams))
        lines.push_back(strprintf("7008 First beam descriptor beam number %u gte beam count %d ", firstBeam, beams));
    const std::size_t checked = std::min(descriptors.size(), static_cast<std::size_t>(beams));
    for (std::size_t i = 0; i < checked; ++i) {
        const auto ordinal = static_cast<std::uint32_t>(firstBeam + i);
        if (descriptors[i].beam != ordinal)
            lines.push_back(
                strprintf("7008 for beam %d, descriptor %u ne ordinal %u ", int(i), ordinal, descriptors[i].beam));
    }
    for (std::size_t i = 0; i < checked; ++i) {
        const BeamDescriptor& d = descriptors[i];
        if (d.first > d.end)
            lines.push_back(strprintf("7008 for beam i %d, first sample num %lu gt last %lu ", int(i),
                                      (unsigned long)d.first, (unsigned long)d.end));
        if (d.end > kMaxSamples)
            lines.push_back(strprintf("7008 for beam %d, bad last sample num %lu ", int(i), (unsigned long)d.end));
    }
    lines.emplace_back();
}

std::int64_t BeamformedState::checkAndFormat(ByteSpan record, std::vector<std::string>& lines,
                                             const FieldValueList& values, const BeamSampleLayout& layout,
                                             bool quiet) {
    check(lines);
    if (descriptors.empty()) return 0;
    if (subsetFlag == 1 && rowColumnFlag == 1) {
        lines.emplace_back("This program cannot process ping with subsets and beams fastest ");
        return 0;
    }
    return excerpt(record, lines, beamSampleWidths(layout, values), quiet);
}

std::int64_t BeamformedState::excerpt(ByteSpan record, std::vector<std::string>& lines,
                                      const BeamSampleWidths& widths, bool quiet) {
    const std::int64_t size = widths.total();  // bytes per sample as the layout reads them
    const std::int64_t start = beamDataLocation;
    const auto held = static_cast<std::int64_t>(record.size());
    std::int64_t pos = start;
    auto sampleAt = [&](std::string& line) {
        if (pos < 0 || pos > held) return false;
        const ByteSpan rest = record.subspan(static_cast<std::size_t>(pos));
        if (quiet ? rest.size() < static_cast<std::size_t>(size) : !appendBeamSample(widths, rest, line)) return false;
        pos += size;
        return true;
    };
    // Steps over `count` samples; false when they run past the record.
    auto stepOver = [&](std::int64_t count) {
        if (count <= 0) return true;
        if (size > 0 && count > (held - std::min(pos, held)) / size) return false;
        pos += count * size;
        return true;
    };
    const std::int64_t wholeBlock = std::int64_t{samples} * beams * sampleSize();
    // One line of `count` samples after its heading: the first kSamplesPerLine
    // shown, `more()` said of the rest, which are stepped over. False when the
    // record ends first: the line then ends "Data exhausted".
    auto sampleLine = [&](std::string line, std::int64_t count, const auto& more) {
        bool exhausted = false;
        for (std::int64_t s = 0; s < count; ++s) {
            if (s == kSamplesPerLine) {
                if (!quiet) line += more();
                exhausted = !stepOver(count - s);
                break;
            }
            if (!sampleAt(line)) {
                exhausted = true;
                break;
            }
        }
        if (exhausted) line += " Data exhausted";
        if (!quiet) lines.push_back(std::move(line));
        return !exhausted;
    };

    if (rowColumnFlag == 0) {
        for (std::size_t b = 0; b < descriptors.size(); ++b) {
            if (b == kShownBeams) {
                if (!quiet) lines.push_back(strprintf("Plus %lu more", (unsigned long)(descriptors.size() - kShownBeams)));
                return wholeBlock;
            }
            const BeamDescriptor& d = descriptors[b];
            if (!quiet) lines.emplace_back();
            const std::int64_t count = d.end >= d.first ? std::int64_t{d.end} - d.first + 1 : 0;
            if (!sampleLine(quiet ? std::string() : strprintf("Beam %u ", d.beam), count, [&] {
                    return strprintf(" + %lu more", (unsigned long)(d.end - kSamplesPerLine));
                }))
                return pos - start;
        }
        return pos - start;
    }

    std::int64_t sampleCount = samples;
    if (sampleCount == 0) {
        lines.emplace_back(" SAMPLE COUNT SHOULD NOT BE ZERO");
        sampleCount = std::int64_t{descriptors.back().end} - descriptors.back().first;
    }
    for (std::int64_t s = 0; s < sampleCount; ++s) {
        if (s == kShownSamples) {
            if (!quiet) lines.push_back(strprintf("Plus %ld more", long(sampleCount - kShownSamples)));
            return wholeBlock;
        }
        if (!quiet) lines.emplace_back();
        if (!sampleLine(quiet ? std::string() : strprintf("Sample %d ", int(s)), beams,
                        [&] { return strprintf("+ %d more", int(beams - kSamplesPerLine)); }))
            return pos - start;
    }
    return pos - start;
}

} // namespace tarvik
