// Opening sources: openSource tells a live address from a capture from a
// record file, and the reason it gives when nothing can be read is the very
// line every command that opens the input prints. A capture is checked
// where its frames lie as the record file it makes is checked.

#include "sources/open_source.h"
#include "decode/layout_loader.h"
#include "decode/record_json.h"
#include "decode/remote_definitions.h"
#include "net/packets.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <tuple>

using tarvik::Bytes;
using tarvik::openSource;
using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;
}

TEST(OpenSource, TellsALiveAddressFromACaptureFromARecordFile) {
    TempDir dir;
    const Bytes frames = tarvik::synth::sampleFrame(7000, 1, 1, 1);
    const std::string file = dir.write("frames.vxr", frames);
    tarvik::synth::PcapngWriter w;
    w.packet(1'700'000'000'000'000'000ull,
             tarvik::synth::udpFrame({0x0A000001, 7000}, {0x0A000002, 40000}, tarvik::net::Packetize(frames)[0]));
    // Told by content: a capture named like a record file is still a capture.
    const std::string capture = dir.write("capture.vxr", w.bytes());

    auto opened = openSource(file);
    ASSERT_TRUE(opened) << opened.error();
    ASSERT_TRUE(opened->source);
    EXPECT_FALSE(opened->live);
    EXPECT_EQ(opened->source->index().size(), 1u);
    EXPECT_FALSE(opened->source->rowOrigin(0).has_value());

    opened = openSource(capture);
    ASSERT_TRUE(opened) << opened.error();
    ASSERT_EQ(opened->source->index().size(), 1u);
    EXPECT_TRUE(opened->source->rowOrigin(0).has_value());  // only a capture knows where a record was seen

    opened = openSource("tcp://127.0.0.1:7000");
    ASSERT_TRUE(opened) << opened.error();
    EXPECT_FALSE(opened->source);
    ASSERT_TRUE(opened->live);
    EXPECT_EQ(opened->live->address, "127.0.0.1");
    EXPECT_EQ(opened->live->port, "7000");
    opened = openSource("tcp://sonar.local");
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->live->address, "sonar.local");
    EXPECT_EQ(opened->live->port, "");
    for (const char* bad : {"tcp://", "tcp://:7000", "tcp://host:", "tcp://host:70x0"}) {
        SCOPED_TRACE(bad);
        opened = openSource(bad);
        ASSERT_FALSE(opened);
        EXPECT_FALSE(opened.error().empty());
    }
}

TEST(OpenSource, AFileThatStopsAtDamageSaysSoAndReadsOnWhenAsked) {
    TempDir dir;
    Bytes bytes = tarvik::synth::sampleFrame(7000, 1, 1, 1);
    bytes.insert(bytes.end(), 10, 0xEE);
    const Bytes second = tarvik::synth::sampleFrame(7004, 1, 2, 1);
    bytes.insert(bytes.end(), second.begin(), second.end());
    const std::string path = dir.write("damaged.vxr", bytes);

    auto stopped = openSource(path);
    ASSERT_TRUE(stopped);
    ASSERT_TRUE(stopped->damage);
    EXPECT_TRUE(stopped->canReadPastDamage);
    EXPECT_EQ(stopped->warnings(), std::vector<std::string>{*stopped->damage});
    EXPECT_EQ(stopped->source->index().size(), 1u);

    tarvik::SourceOptions options;
    options.readPastDamage = true;
    options.filter = tarvik::RecordFilter::types("7004");
    auto past = openSource(path, options);
    ASSERT_TRUE(past);
    EXPECT_FALSE(past->canReadPastDamage);
    EXPECT_EQ(past->source->index().size(), 2u);
    // Listed under the filter handed in: the skipped-bytes line and the 7004.
    ASSERT_EQ(past->source->rowCount(), 2u);
    EXPECT_EQ(past->source->rowText(1, 0), "7004");
}

TEST(OpenSource, TheReasonItFailsIsTheLineEveryCommandPrints) {
    TempDir dir;
    // A capture whose header promises more than the file holds.
    tarvik::synth::PcapngWriter w;
    Bytes cut = w.bytes();
    cut.resize(std::min<std::size_t>(cut.size(), 12));
    const std::string inputs[] = {dir.file("missing.vxr"), dir.path().string(), dir.write("cut.pcapng", cut)};
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        const auto opened = openSource(input);
        if (opened) continue;  // nothing to compare: it can be read
        const std::string line = opened.error() + "\n";
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"list", input}, {"report", input}, {"export", input, "--type", "7000"}}) {
            SCOPED_TRACE(args[0]);
            const auto run = runProgram(kCli, args);
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find(line), std::string::npos) << run.err;
        }
    }
}

namespace {

struct Checked {
    tarvik::FileCheckResult result;
    std::vector<std::tuple<std::uint64_t, std::uint64_t, Bytes>> frames;  // index, offset, bytes
    std::vector<std::pair<std::uint64_t, std::string>> texts;
};

const tarvik::FileChecker& checker() {
    static const tarvik::LoadedDefinitions defs = tarvik::loadLayouts({}, false);
    static const tarvik::NoRemoteCommandDefinitions none;
    static const tarvik::FileChecker c(defs.catalogue, none);
    return c;
}

Checked checkedSource(const std::string& path) {
    Checked c;
    c.result = tarvik::checkRecordSource(
        checker(), path, {},
        [&](const tarvik::CheckedFrame& f) { c.frames.emplace_back(f.index, f.offset, Bytes(f.bytes.begin(), f.bytes.end())); },
        [&](std::uint64_t before, const std::string& text) { c.texts.emplace_back(before, text); });
    return c;
}

// The capture's records written to a file of their own (what convert writes), checked as a record file.
Checked checkedAsFile(const std::string& path) {
    Checked c;
    std::string note;
    const auto read = tarvik::readRecordsAsFile(path, {}, [&](const std::string& file) {
        c.result = checker().check(file, [&](const tarvik::CheckedFrame& f) {
            c.frames.emplace_back(f.index, f.offset, Bytes(f.bytes.begin(), f.bytes.end()));
        });
    }, note);
    EXPECT_TRUE(read) << read.error();
    return c;
}

void expectSameCheck(const std::string& path) {
    const Checked inPlace = checkedSource(path), asFile = checkedAsFile(path);
    ASSERT_FALSE(inPlace.result.unreadable) << *inPlace.result.unreadable;
    EXPECT_EQ(inPlace.result.path, path);
    EXPECT_EQ(inPlace.result.fileBytes, asFile.result.fileBytes);
    EXPECT_EQ(inPlace.result.frames, asFile.result.frames);
    EXPECT_EQ(inPlace.result.hasCatalog, asFile.result.hasCatalog);
    // Every kind but the capture's own problems, which only the capture path adds.
    for (std::size_t k = 0; k < tarvik::kCheckProblemKinds; ++k) {
        if (k == static_cast<std::size_t>(tarvik::CheckProblemKind::Capture)) continue;
        SCOPED_TRACE(tarvik::checkProblemName(static_cast<tarvik::CheckProblemKind>(k)));
        const auto &a = inPlace.result.problems[k], &b = asFile.result.problems[k];
        EXPECT_EQ(a.count, b.count);
        ASSERT_EQ(a.first.size(), b.first.size());
        for (std::size_t i = 0; i < a.first.size(); ++i) {
            EXPECT_EQ(a.first[i].index, b.first[i].index);
            EXPECT_EQ(a.first[i].offset, b.first[i].offset);
            EXPECT_EQ(a.first[i].text, b.first[i].text);
        }
    }
    tarvik::FileCheckResult aStats, bStats;
    aStats.statistics = inPlace.result.statistics;
    bStats.statistics = asFile.result.statistics;
    EXPECT_EQ(tarvik::checkResultJson(aStats), tarvik::checkResultJson(bStats));
    EXPECT_TRUE(inPlace.frames == asFile.frames);
}

} // namespace

TEST(CheckRecordSource, ACaptureChecksWhereItsFramesLieAsTheRecordFileItMakes) {
    TempDir dir;
    // The hard cases: reordered, resent and lost segments, records of several
    // packets (copied aside) beside records whole in one packet, text rows.
    {
        const std::string path = dir.write("hard.pcapng", tarvik::synth::sampleCapture({}).file);
        expectSameCheck(path);
        EXPECT_EQ(checkedSource(path).texts.size(), 2u);
    }
    {
        tarvik::synth::CaptureSampleOptions o;
        o.records = 120;
        o.minDataBytes = 20;
        o.maxDataBytes = 3000;
        o.hardCases = false;
        expectSameCheck(dir.write("plain.pcapng", tarvik::synth::sampleCapture(o).file));
    }
    // Damage the check finds inside the frames: a data byte written over, and
    // Size fields that disagree with the bytes the packets held (the walk
    // resynchronises across the frames, as it does in the file).
    std::vector<Bytes> records;
    for (std::uint32_t i = 0; i < 30; ++i) records.push_back(tarvik::synth::sampleFrame(i % 3 ? 7006 : 7000, 7125, i, i + (i > 12)));
    records[4][80] ^= 0xFF;
    auto setSize = [](Bytes& frame, std::uint32_t size) { std::memcpy(frame.data() + 8, &size, 4); };
    setSize(records[9], static_cast<std::uint32_t>(records[9].size() - 24));
    setSize(records[17], static_cast<std::uint32_t>(records[17].size() + records[18].size() + 9));
    setSize(records[29], static_cast<std::uint32_t>(records[29].size() + 100));
    const std::string damaged = dir.write("damaged.pcapng", tarvik::synth::captureOfRecords(records));
    expectSameCheck(damaged);
    const Checked c = checkedSource(damaged);
    EXPECT_GT(c.result.of(tarvik::CheckProblemKind::Sync).count + c.result.of(tarvik::CheckProblemKind::Size).count, 0u);
    EXPECT_GT(c.result.of(tarvik::CheckProblemKind::Truncated).count, 0u);
}

TEST(CheckRecordSource, ACaptureCutShortWhileItIsCheckedEndsTheCheckWithoutACrash) {
    TempDir dir;
    std::vector<Bytes> records;
    for (std::uint32_t i = 0; i < 400; ++i) records.push_back(tarvik::synth::sizedSampleFrame(7006, 7125, i, i, 2000));
    const Bytes capture = tarvik::synth::captureOfRecords(records);
    const std::string path = dir.write("cut.pcapng", capture);
    std::uint64_t seen = 0;
    const tarvik::FileCheckResult r = tarvik::checkRecordSource(checker(), path, {}, [&](const tarvik::CheckedFrame& f) {
        ++seen;
        if (f.index == 10) std::filesystem::resize_file(path, capture.size() / 3);
    });
    ASSERT_FALSE(r.unreadable);
    EXPECT_LT(r.frames, records.size());
    EXPECT_GT(r.frames, 10u);
    ASSERT_GE(r.of(tarvik::CheckProblemKind::Truncated).count, 1u);
    EXPECT_NE(r.of(tarvik::CheckProblemKind::Truncated).first.back().text.find("cut short"), std::string::npos)
        << r.of(tarvik::CheckProblemKind::Truncated).first.back().text;
    EXPECT_EQ(seen, r.frames);
}
