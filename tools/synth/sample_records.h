#pragma once
// Synthetic records and record files for demos, tests and benchmarks. Every
// frame is built by the project's own frame builder.

#include "core/bytes.h"
#include "core/frame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::synth {

// The smallest data section a sized sample frame can have: the 14 bytes of an
// event message before its text, and one byte of text.
inline constexpr std::size_t kMinSizedDataBytes = 15;

struct SampleOptions {
    std::size_t frames = 40;        // frames between the file header and the catalog
    bool withCatalog = true;        // file header record first, file catalog record last
    // When non-zero, every frame's data section is padded with zeros to a size
    // in [min, max] (benchmarks); a size below the record's own makes the frame
    // a system event message (7051) whose text takes the bytes, so that every
    // frame still decodes by its layout. The minimum is kMinSizedDataBytes.
    std::size_t minDataBytes = 0;
    std::size_t maxDataBytes = 0;
    std::uint32_t seed = 7;
    std::uint32_t deviceId = 7125;
    // When non-zero, the file holds picture records instead: a configuration,
    // settings and geometry record, then a side-scan record (7007) per ping and
    // bathymetry, beam data and image records (7006, 7008, 7011) for two
    // consecutive pings out of every 128 (from the 16th on): a gap of that many
    // pings starts a new ping sequence, so no ping reads as dropped.
    std::size_t imageryPings = 0;
    // The most records a catalog may list: readers take a larger count as 0
    // and refuse the catalog, so a longer file is written without one.
    std::size_t catalogLimit = 1'000'000;
};

// The header fields every sample frame shares: a fixed time stamp, the device.
FrameBuilder sampleBuilder(std::uint32_t recordType, std::uint32_t deviceId, std::uint32_t counter);

// A sample frame of a record type, with a plausible data section. Types the
// generator does not know get a short data section of counting bytes.
Bytes sampleFrame(std::uint32_t recordType, std::uint32_t deviceId, std::uint32_t counter,
                  std::uint32_t pingNumber,
                  std::uint16_t enumerator = 0);

// The frame with another time stamp (and its checksum made anew when it has one).
Bytes restamped(Bytes frame, const VxTIME& time);
// The time stamp of the sample frame with this record counter: half a second
// per record from a fixed morning, so that the time only ever moves forward.
VxTIME sampleTime(std::uint32_t counter);

// A sample frame whose data section is exactly `dataBytes` long: the sample
// record padded with zeros, or an event message (7051) when the sample record
// is longer (dataBytes at least kMinSizedDataBytes, and below 65,550 then).
Bytes sizedSampleFrame(std::uint32_t recordType, std::uint32_t deviceId, std::uint32_t counter,
                       std::uint32_t pingNumber, std::size_t dataBytes);

// The file header record (7200) that opens a record file; with a catalog
// position it carries the pointer to the file catalog record.
Bytes fileHeaderFrame(std::uint32_t deviceId, std::optional<std::uint64_t> catalogOffset = std::nullopt,
                      std::uint32_t catalogSize = 0);

// Writes a record file whole (see WholeFileOutput): false, with the reason in
// `error`, when it could not be written; an existing file is then as it was.
// An existing file is replaced only with `replace`.
struct SampleFileResult {
    std::uint64_t bytes = 0;
    std::uint64_t records = 0;
    bool catalogLeftOut = false;  // a catalog was wanted, but more records came before it than one may list
};
bool writeSampleFile(const std::string& path, const SampleOptions& options, bool replace, std::string& error,
                     SampleFileResult* result = nullptr);
// The same, replacing an existing file (for tests and benchmarks writing into
// folders of their own).
bool writeSampleFile(const std::string& path, const SampleOptions& options);

// The record types the sample file cycles through, in order.
const std::vector<std::uint32_t>& sampleRecordTypes();

} // namespace tarvik::synth
