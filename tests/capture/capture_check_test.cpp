// The check of a capture: its frames are judged as they are read, as the
// record file they make would be, on one thread or with the capture read
// ahead on a second one.

#include "capture/capture_file.h"
#include "capture/packet_file.h"
#include "decode/file_check.h"
#include "decode/layout_loader.h"
#include "sources/open_source.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>


namespace tarvik {
namespace {

const LayoutCatalogue& builtIn() {
    static const LoadedDefinitions defs = loadLayouts({}, false);
    return defs.catalogue;
}

// Everything a check hands out, in the order it does: frames seen, text rows
// between them, and the findings but those of the capture itself.
struct Checked {
    std::vector<std::string> events;
    FileCheckResult result;

    std::string framesAndFindings() const {
        std::string out = std::to_string(result.frames) + " frames, " + std::to_string(result.fileBytes) + " bytes\n";
        for (const std::string& e : events)
            if (e.rfind("text", 0) != 0) out += e + "\n";
        for (std::size_t kind = 0; kind < kCheckProblemKinds; ++kind) {
            if (kind == static_cast<std::size_t>(CheckProblemKind::Capture)) continue;
            const CheckProblemList& list = result.problems[kind];
            out += std::string(checkProblemName(static_cast<CheckProblemKind>(kind))) + " " + std::to_string(list.count) + "\n";
            for (const CheckProblem& p : list.first)
                out += std::to_string(p.index) + " " + std::to_string(p.offset) + " " + p.text + "\n";
        }
        for (const std::string& row : result.statistics.tableLines()) out += row + "\n";
        return out;
    }
};

std::string seen(const CheckedFrame& f) {
    return "frame " + std::to_string(f.index) + " at " + std::to_string(f.offset) + " type " +
           std::to_string(f.header.recordType()) + " holding " + std::to_string(f.bytes.size());
}

Checked checkCapture(const std::string& path, bool secondThread) {
    static const NoRemoteCommandDefinitions none;
    FileCheckOptions options;
    options.readAhead = secondThread;
    options.readAheadFrom = 0;  // whatever the capture's size
    Checked out;
    out.result = checkRecordSource(
        FileChecker(builtIn(), none, options), path, {}, [&](const CheckedFrame& f) { out.events.push_back(seen(f)); },
        [&](std::uint64_t before, const std::string& text) {
            out.events.push_back("text " + std::to_string(before) + " " + text);
        });
    return out;
}

// The check of the record file the capture's frames make, written whole.
Checked checkWrittenOut(const std::string& path) {
    static const NoRemoteCommandDefinitions none;
    Checked out;
    std::string note;
    EXPECT_TRUE(readRecordsAsFile(path, {}, [&](const std::string& file) {
        out.result = FileChecker(builtIn(), none).check(file, [&](const CheckedFrame& f) { out.events.push_back(seen(f)); });
    }, note));
    return out;
}

TEST(CaptureCheck, FramesAreJudgedAsTheRecordFileTheyMakeOnOneThreadOrTwo) {
    testing::TempDir dir;
    std::vector<Bytes> records;
    for (std::uint32_t i = 0; i < 30; ++i) records.push_back(synth::sampleFrame(7000 + 4 * (i % 3), 1, i, 100 + i + (i > 20)));
    records[4][records[4].size() / 2] ^= 0x5a;  // a checksum that does not match
    // Larger than the stretches the capture is read ahead in.
    records[17] = synth::sizedSampleFrame(7027, 1, 17, 117, capture::PacketFile::kReadWindow * 5 / 2);
    Bytes oversized = records[9];               // a Size past the frame's bytes
    oversized[8] = static_cast<std::uint8_t>(oversized[8] + 40);
    std::vector<Bytes> withOversized = records;
    withOversized.insert(withOversized.begin() + 12, oversized);
    synth::SampleOptions o;
    o.frames = 3;
    ASSERT_TRUE(synth::writeSampleFile(dir.file("cat.vxr"), o));
    const Bytes withCatalog = tarvik::testing::slurpBytes(dir.file("cat.vxr"));
    std::vector<Bytes> catalogFirst = records;  // a first frame that names a file catalog
    catalogFirst.insert(catalogFirst.begin(), Bytes(withCatalog.begin(), withCatalog.begin() + FrameView(withCatalog).size()));

    const std::vector<std::pair<std::string, Bytes>> captures = {
        {"records.pcapng", synth::captureOfRecords(records)},
        {"oversized.pcapng", synth::captureOfRecords(withOversized)},
        {"catalog.pcapng", synth::captureOfRecords(catalogFirst)},
        {"sample.pcapng", synth::sampleCapture({}).file},  // resent, reordered, lost packets
        {"empty.pcapng", synth::captureOfRecords({})},
    };
    for (const auto& [name, bytes] : captures) {
        SCOPED_TRACE(name);
        const std::string path = dir.write(name, bytes);
        const Checked one = checkCapture(path, false), two = checkCapture(path, true);
        EXPECT_EQ(two.events, one.events);
        EXPECT_EQ(checkSummaryLines(two.result), checkSummaryLines(one.result));
        EXPECT_EQ(one.framesAndFindings(), checkWrittenOut(path).framesAndFindings());
        EXPECT_EQ(one.result.path, path);
    }
    const Checked sample = checkCapture(dir.file("sample.pcapng"), true);
    EXPECT_EQ(std::count_if(sample.events.begin(), sample.events.end(), [](const std::string& e) { return e.rfind("text", 0) == 0; }), 2);
    EXPECT_EQ(checkCapture(dir.file("records.pcapng"), true).result.of(CheckProblemKind::Checksum).count, 1u);
    EXPECT_EQ(checkCapture(dir.file("catalog.pcapng"), true).result.of(CheckProblemKind::Catalog).count, 1u);
    EXPECT_EQ(checkCapture(dir.file("empty.pcapng"), true).result.of(CheckProblemKind::Truncated).count, 1u);
}

} // namespace
} // namespace tarvik
