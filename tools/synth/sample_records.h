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

struct SampleOptions {
    std::size_t frames = 40;        // frames between the file header and the catalog
    bool withCatalog = true;        // file header record first, file catalog record last
    std::size_t minDataBytes = 0;   // when non-zero, every frame's data section is padded
    std::size_t maxDataBytes = 0;   // to a size in [min, max] (benchmarks)
    std::uint32_t seed = 7;
    std::uint32_t deviceId = 7125;
    // When non-zero, the file holds picture records instead: a configuration,
    // settings and geometry record, then a side-scan record (7007) per ping and
    // bathymetry, beam data and image records (7006, 7008, 7011) every 16th ping.
    std::size_t imageryPings = 0;
};

// The header fields every sample frame shares: a fixed time stamp, the device.
FrameBuilder sampleBuilder(std::uint32_t recordType, std::uint32_t deviceId, std::uint32_t counter);

// A sample frame of a record type, with a plausible data section. Types the
// generator does not know get a short data section of counting bytes.
Bytes sampleFrame(std::uint32_t recordType, std::uint32_t deviceId, std::uint32_t counter,
                  std::uint32_t pingNumber);

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
};
bool writeSampleFile(const std::string& path, const SampleOptions& options, bool replace, std::string& error,
                     SampleFileResult* result = nullptr);
// The same, replacing an existing file (for tests and benchmarks writing into
// folders of their own).
bool writeSampleFile(const std::string& path, const SampleOptions& options);

// The record types the sample file cycles through, in order.
const std::vector<std::uint32_t>& sampleRecordTypes();

} // namespace tarvik::synth
