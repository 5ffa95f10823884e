#include "tools/synth/sample_records.h"
#include "tools/synth/server_records.h"

#include "core/record_file.h"
#include "core/text.h"
#include "core/record_index.h"
#include "core/whole_file_output.h"
#include "tools/synth/report_records.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

namespace tarvik::synth {

namespace {

constexpr std::uint8_t kFileIdentifier[16] = {0x7D, 0x57, 0xDF, 0x33, 0xEC, 0x2A, 0x3E, 0xA9,
                                              0x6F, 0x4D, 0xB0, 0xCF, 0x43, 0x2F, 0x30, 0xF3};

} // namespace

// Half a second per record from 07:04:09.125 on 5 March 2024, so that time
// stamps only ever move forward (days roll over on long files).
VxTIME sampleTime(std::uint32_t counter) {
    const std::uint64_t halfSeconds = std::uint64_t{counter} + 2u * (7u * 3600u + 4u * 60u + 9u);
    const std::uint64_t wholeSeconds = halfSeconds / 2u;
    VxTIME t;
    t.year = 2024;
    t.day = static_cast<std::uint16_t>(65u + wholeSeconds / 86400u % 300u);
    t.hours = static_cast<std::uint8_t>(wholeSeconds / 3600u % 24u);
    t.minutes = static_cast<std::uint8_t>(wholeSeconds / 60u % 60u);
    t.seconds = static_cast<float>(wholeSeconds % 60u) + (halfSeconds % 2u ? 0.625f : 0.125f);
    return t;
}

Bytes restamped(Bytes frame, const VxTIME& time) {
    if (frame.size() < kFrameHeaderSize) return frame;
    const bool checksum = FrameView(frame).hasChecksum();
    ByteWriter stamp;
    time.write(stamp);
    std::copy(stamp.data().begin(), stamp.data().end(), frame.begin() + frame_offsets::time);
    if (checksum) finishFrame(frame);
    return frame;
}

const std::vector<std::uint32_t>& sampleRecordTypes() {
    static const std::vector<std::uint32_t> types = {7000, 7004, 7027, 7006, 7008, 7001, 7022};
    return types;
}

FrameBuilder sampleBuilder(std::uint32_t recordType, std::uint32_t deviceId, std::uint32_t counter) {
    FrameBuilder b(recordType);
    b.device(deviceId, 0).counter(counter).time(sampleTime(counter));
    return b;
}

Bytes sampleFrame(std::uint32_t recordType, std::uint32_t deviceId, std::uint32_t counter,
                  std::uint32_t pingNumber, std::uint16_t enumerator) {
    FrameBuilder b = sampleBuilder(recordType, deviceId, counter);
    b.device(deviceId, enumerator);
    ByteWriter& d = b.data();
    switch (recordType) {
    case 7000: data7000(d, pingNumber); break;
    case 7002: data7002(d, pingNumber); break;
    case 7503: data7503(d, pingNumber); break;
    case 7004: data7004(d, 16); break;
    case 7006: data7006(d, pingNumber, 16); break;
    case 7008: data7008(d, pingNumber, BeamData{}); break;
    case 7027: data7027(d, pingNumber, 8); break;
    case 7007: case 7009: case 7011: case 7012:
        // ping records begin with sonar id, ping number and multi-ping sequence
        d.u64(0x1234).u32(pingNumber).u16(0).u32(8).fill(40, 0x11);
        break;
    case 7001: {
        // One device with its device text, as a sonar server describes itself.
        SimDevice device;
        device.deviceId = deviceId;
        device.serial = kSampleSonarSerial;
        const std::string info = deviceInfoText(device);
        d.u64(kSampleSonarSerial).u32(1).u32(deviceId).fixedText(device.name, 64).u64(device.serial);
        d.u32(static_cast<std::uint32_t>(info.size() + 1)).bytes(asBytes(info)).u8(0);
        break;
    }
    case 7022: d.fixedText("5.1.2.3", 32); break;
    default:
        for (int i = 0; i < 16; ++i) d.u8(static_cast<std::uint8_t>(i));
        break;
    }
    return b.build();
}

Bytes sizedSampleFrame(std::uint32_t recordType, std::uint32_t deviceId, std::uint32_t counter,
                       std::uint32_t pingNumber, std::size_t dataBytes) {
    const Bytes natural = sampleFrame(recordType, deviceId, counter, pingNumber);
    const std::size_t naturalData = natural.size() - kFrameHeaderSize - 4;
    FrameBuilder b;
    if (dataBytes >= naturalData) {
        b = sampleBuilder(recordType, deviceId, counter);
        b.data().bytes(ByteSpan(natural).subspan(kFrameHeaderSize, naturalData)).fill(dataBytes - naturalData);
    } else {
        // An event message: serial number, information, the text's length, the
        // identifier the tool's own messages carry, then the text in zeros.
        b = sampleBuilder(7051, deviceId, counter);
        const std::size_t length = std::max(dataBytes, kMinSizedDataBytes) - 14;
        const std::string text = strprintf("sample frame %u", counter).substr(0, length - 1);
        b.data().u64(kSampleSonarSerial).u16(1).u16(static_cast<std::uint16_t>(length)).u16(19191);
        b.data().fixedText(text, length);
    }
    return b.build();
}

Bytes fileHeaderFrame(std::uint32_t deviceId, std::optional<std::uint64_t> catalogOffset,
                      std::uint32_t catalogSize) {
    FrameBuilder b = sampleBuilder(kFileHeaderRecordType, deviceId, 0);
    ByteWriter& d = b.data();
    d.bytes(kFileIdentifier).u16(1).u16(0).fill(16).u32(0).u32(0);
    d.fixedText("Tarvik", 64, 0xFE);
    d.fixedText(TARVIK_VERSION, 16, 0xFE);
    d.fixedText("Sample file", 64, 0xFE);
    d.fixedText("Tarvik does not write notes", 128, 0xFE);
    if (catalogOffset) b.optionalData(kFileCatalogRecordType).u32(catalogSize).u64(*catalogOffset);
    return b.build();
}

namespace {

// The records the file holds before its catalog: the header record and the
// frames (for picture files: three set-up records, a side-scan record per ping
// and three picture records on two pings of every 128).
std::uint64_t recordsBeforeCatalog(const SampleOptions& options) {
    if (options.imageryPings == 0) return 1 + std::uint64_t{options.frames};
    const std::uint64_t pings = options.imageryPings;
    const std::uint64_t pairedPings = pings / 128 * 2 + std::min<std::uint64_t>(pings % 128 > 15 ? pings % 128 - 15 : 0, 2);
    return 1 + 3 + pings + 3 * pairedPings;
}

} // namespace

bool writeSampleFile(const std::string& path, const SampleOptions& options) {
    std::string error;
    return writeSampleFile(path, options, true, error);
}

bool writeSampleFile(const std::string& path, const SampleOptions& options, bool replace, std::string& error,
                     SampleFileResult* result) {
    WholeFileOutput out;
    auto failed = [&] {
        error = out.error();
        return false;
    };
    if (!out.open(path, replace ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No)) return failed();
    const bool withCatalog = options.withCatalog && recordsBeforeCatalog(options) <= options.catalogLimit;
    std::vector<RecordIndexEntry> catalog;
    std::uint64_t position = 0;
    std::uint64_t records = 0;
    auto put = [&](const Bytes& frame) {
        if (!out.write(frame)) return false;
        ++records;
        if (withCatalog) catalog.push_back(RecordIndexEntry::fromHeader(FrameView(frame), position));
        position += frame.size();
        return true;
    };

    Bytes header = fileHeaderFrame(options.deviceId, withCatalog ? std::optional<std::uint64_t>(0) : std::nullopt);
    if (!put(header)) return failed();

    std::mt19937 random(options.seed);
    const auto& types = sampleRecordTypes();
    std::uint32_t ping = 100;
    std::size_t frames = options.imageryPings > 0 ? 0 : options.frames;
    if (options.imageryPings > 0) {
        SimDevice device;
        device.deviceId = options.deviceId;
        PingShape shape;
        shape.samples = 1024;
        std::uint32_t counter = 0;
        // The simulator's builders stamp the current time; a file keeps the
        // sample time line of its header and catalog.
        auto putSample = [&](Bytes frame) { return put(restamped(std::move(frame), sampleTime(counter))); };
        bool ok = putSample(configurationRecord(std::span(&device, 1), ++counter)) &&
                  putSample(sonarSettings(device, ++counter, ping)) && putSample(beamGeometry(device, ++counter, shape));
        for (std::size_t p = 0; ok && p < options.imageryPings; ++p, ++ping) {
            ok = putSample(sideScan(device, ++counter, ping, shape));
            // The large picture records only now and then, on two pings in a
            // row so that a file of a few dozen pings has two of each; the gap
            // to the next pair is too long to count as dropped pings.
            if (ok && (p % 128 == 15 || p % 128 == 16))
                ok = putSample(bathymetry(device, ++counter, ping, shape)) &&
                     putSample(beamData(device, ++counter, ping, shape)) &&
                     putSample(imageData(device, ++counter, ping, shape));
        }
        if (!ok) return failed();
        frames = counter;
    }
    for (std::size_t i = 0; i < frames && options.imageryPings == 0; ++i) {
        std::uint32_t type = types[i % types.size()];
        if (type == 7000) ++ping;
        Bytes frame;
        if (options.maxDataBytes > 0) {
            std::uniform_int_distribution<std::size_t> pick(std::max(options.minDataBytes, kMinSizedDataBytes),
                                                            std::max(options.maxDataBytes, kMinSizedDataBytes));
            frame = sizedSampleFrame(type, options.deviceId, static_cast<std::uint32_t>(i + 1), ping, pick(random));
        } else {
            frame = sampleFrame(type, options.deviceId, static_cast<std::uint32_t>(i + 1), ping);
        }
        if (!put(frame)) return failed();
    }

    if (withCatalog) {
        const std::uint64_t catalogOffset = position;
        const auto n = static_cast<std::uint32_t>(catalog.size());
        FrameBuilder b = sampleBuilder(kFileCatalogRecordType, options.deviceId,
                                       static_cast<std::uint32_t>(frames + 1));
        b.data().u32(14 + n * 48).u16(1).u32(n).u32(0);
        for (const auto& e : catalog) b.data().bytes(e.raw);
        catalog.clear();
        Bytes catalogFrame = b.build();
        if (!out.write(catalogFrame)) return failed();
        ++records;
        position += catalogFrame.size();
        // Now that the catalog's place is known, point the file header at it.
        Bytes finalHeader = fileHeaderFrame(options.deviceId, catalogOffset,
                                            static_cast<std::uint32_t>(catalogFrame.size()));
        if (!out.writeAt(0, finalHeader)) return failed();
    }
    if (!out.commit()) return failed();
    if (result) *result = {position, records, options.withCatalog && !withCatalog};
    return true;
}

} // namespace tarvik::synth
