// Filters on header fields decided from a record file's index: the same rows
// as judging every frame, without reading the frames.

#include "core/frame.h"
#include "core/record_file.h"
#include "core/record_file_source.h"
#include "decode/layout_loader.h"
#include "expr/predicate.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarvik;
using tarvik::testing::TempDir;

namespace {

const LayoutCatalogue& builtIn() {
    static const LoadedDefinitions defs = loadLayouts({}, false);
    return defs.catalogue;
}

Bytes frame(std::uint32_t type, std::uint32_t device, std::uint16_t enumerator, std::uint32_t counter,
            std::uint16_t recordVersion = 1) {
    FrameBuilder b(type);
    b.device(device, enumerator).counter(counter).recordVersion(recordVersion);
    b.data().fill(16 + counter % 3, 0x11);
    b.time(synth::sampleTime(counter));
    return b.build();
}

RecordFilter filterOf(const std::string& text) {
    Result<RecordFilter> f = expr::compileFilter(text, builtIn());
    EXPECT_TRUE(f.ok()) << text;
    return f.ok() ? *f : RecordFilter();
}

std::vector<std::uint32_t> rowNumbers(const IndexedRecordSource& source) {
    std::vector<std::uint32_t> out;
    for (std::size_t r = 0; r < source.rowCount(); ++r)
        if (source.rowFrame(r)) out.push_back(source.rowRecordNumber(r));
    return out;
}

// The rows a filter gives when every frame is judged as read.
std::vector<std::uint32_t> judgedOneByOne(const std::vector<Bytes>& frames, const RecordFilter& filter) {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (filter.passes(frames[i], {static_cast<std::uint32_t>(i), nullptr})) out.push_back(static_cast<std::uint32_t>(i));
    return out;
}

// Every frame of the source's index read back and judged, as the list did before it asked the index.
std::vector<std::uint32_t> judgedFramesOf(const IndexedRecordSource& source, const RecordFilter& filter) {
    std::vector<Bytes> frames;
    for (std::size_t q = 0; q < source.index().size(); ++q) frames.push_back(source.readFrame(q));
    return judgedOneByOne(frames, filter);
}

// Filters on what a record file's entries keep, and ones the entries cannot decide.
const std::vector<std::string> kHeaderFilters = {
    "vx.device == 7125 && vx.enumerator == 0",
    "vx.record_type == 7000 || vx.record_type == 7027",
    "vx.record_counter % 3 == 1 && row > 2",
    "vx.flags == 1 || vx.record_version > 1",
    "vx.size > 200 && vx.protocol_version >= 5",
    "vx.time >= 0 && !(vx.offset == 60)",
    "vx.device == 7125 && 7027.number_of_detection_points > 1",
};

void expectTheRowsOfTheFrames(FileRecordSource& source) {
    for (const std::string& text : kHeaderFilters) {
        const RecordFilter f = filterOf(text);
        const std::vector<std::uint32_t> expected = judgedFramesOf(source, f);
        source.setFilter(f);
        EXPECT_EQ(rowNumbers(source), expected) << text;
    }
}

} // namespace

TEST(IndexFilter, HeaderFieldsDecideFromTheIndexAsTheFramesWould) {
    // Devices whose low 16 bits are alike, types beyond 16 bits, enumerators, versions.
    const std::uint32_t farDevice = 0x10000 + 7125, farType = 0x10000 + 7000;
    const std::vector<Bytes> frames = {
        frame(7000, 7125, 1, 1),     frame(7027, 7125, 0, 2),  frame(7000, farDevice, 1, 3),
        frame(farType, 7125, 1, 4),  frame(7004, 20, 1, 5, 2), frame(7027, 7125, 1, 6),
        frame(7000, 7125, 2, 7, 3),
    };
    TempDir dir;
    Bytes all;
    for (const Bytes& f : frames) all.insert(all.end(), f.begin(), f.end());
    const std::string path = dir.write("h.vxr", all);
    auto source = std::make_shared<FileRecordSource>();
    ASSERT_TRUE(source->open(path));
    ASSERT_EQ(source->build(), std::nullopt);

    const std::vector<std::string> filters = {
        "vx.device == 7125 && vx.enumerator == 1",
        "vx.device == 72661",
        "(vx.device & 65535) == 7125 && !(vx.device == 7125)",
        "vx.record_type == 7000",
        "7000 || 7027",
        "vx.record_version >= 2 or vx.record_counter in {2, 6}",
        "vx.size > 86 && row != 3",
        "vx.time > " + std::to_string(1e9),
    };
    std::vector<std::vector<std::uint32_t>> expected;
    for (const std::string& text : filters) {
        const RecordFilter f = filterOf(text);
        EXPECT_TRUE(f.decidedByIndex(true)) << text;
        expected.push_back(judgedOneByOne(frames, f));
    }
    EXPECT_EQ(expected[0], (std::vector<std::uint32_t>{0, 3, 5}));
    EXPECT_EQ(expected[1], (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(expected[2], (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(expected[3], (std::vector<std::uint32_t>{0, 2, 6}));

    // With the file's bytes gone, only what the index holds can answer.
    std::filesystem::resize_file(path, 0);
    for (std::size_t i = 0; i < filters.size(); ++i) {
        source->setFilter(filterOf(filters[i]));
        EXPECT_EQ(rowNumbers(*source), expected[i]) << filters[i];
    }
}

TEST(IndexFilter, OnlyWhatTheIndexHoldsIsDecidedThere) {
    // The checksum, the optional data and layout fields need the frame; an
    // index without the kept fields (a capture's) answers only for the rest.
    for (const char* text : {"vx.checksum.ok", "vx.optional_id == 0", "7027.number_of_detection_points > 1",
                             "vx.device == 7125 || 7027.number_of_detection_points > 1"})
        EXPECT_FALSE(filterOf(text).decidedByIndex(true)) << text;
    for (const char* text : {"vx.device == 7125", "7027 && vx.enumerator == 1", "vx.record_type == 7000", "vx.size > 64"})
        EXPECT_FALSE(filterOf(text).decidedByIndex(false)) << text;
    EXPECT_TRUE(filterOf("vx.enumerator == 1 && vx.record_counter > 4 && row < 9").decidedByIndex(false));
    EXPECT_FALSE(filterOf("7027").decidedByIndex(true));  // a record-type text: by type alone
}

TEST(IndexFilter, ACatalogEntryThatDiffersFromItsFrameIsJudgedByTheFrame) {
    TempDir dir;
    synth::SampleOptions options;
    options.frames = 6;
    const std::string good = dir.file("good.vxr");
    ASSERT_TRUE(synth::writeSampleFile(good, options));
    Bytes bytes = tarvik::testing::slurpBytes(good);
    // The catalog says device 7125 for frame 3, which holds 9999, and the
    // frame's own enumerator is changed to 5.
    const std::size_t pointerAt = FrameView(bytes).optionalDataOffset();
    const std::uint64_t catalogAt = readLEOr0<std::uint64_t>(bytes, pointerAt + 4);
    const std::uint64_t entry3 = catalogAt + 64 + 14 + 48 * 3;
    const std::uint64_t frame3 = readLEOr0<std::uint64_t>(bytes, entry3 + 4);
    ByteWriter w(bytes);
    w.patch<std::uint32_t>(frame3 + frame_offsets::deviceId, 9999);
    w.patch<std::uint16_t>(frame3 + frame_offsets::systemEnumerator, 5);
    const std::string path = dir.write("differs.vxr", w.take());

    auto source = std::make_shared<FileRecordSource>();
    ASSERT_TRUE(source->open(path));
    ASSERT_EQ(source->build(), std::nullopt);
    ASSERT_TRUE(source->catalogDisagreement().empty());  // the catalog is used
    EXPECT_FALSE(source->index()[3].keptHeader());
    EXPECT_TRUE(source->index()[4].keptHeader());
    source->setFilter(filterOf("vx.device == 9999"));
    EXPECT_EQ(rowNumbers(*source), (std::vector<std::uint32_t>{3}));
    source->setFilter(filterOf("vx.enumerator == 5 || vx.device != 7125"));
    EXPECT_EQ(rowNumbers(*source), (std::vector<std::uint32_t>{3}));
}

TEST(IndexFilter, TheCatalogAWriterMakesIsUnchanged) {
    // Entries made for a catalog keep their last 16 bytes zero; only the
    // reader's entries in memory keep the header there.
    const Bytes f = frame(7000, 0x10000 + 7125, 1, 3);
    const RecordIndexEntry written = RecordIndexEntry::fromHeader(FrameView(f), 64);
    for (std::size_t i = 32; i < RecordIndexEntry::kSize; ++i) EXPECT_EQ(written.raw[i], 0u) << i;
    const RecordIndexEntry kept = RecordIndexEntry::keepingHeader(FrameView(f), 64);
    EXPECT_TRUE(std::equal(written.raw.begin(), written.raw.begin() + 32, kept.raw.begin()));
    EXPECT_TRUE(kept.keptHeader());
    // The header it rebuilds agrees with the frame on every field it holds.
    const auto header = kept.header(true);
    const FrameView h(header), frameView(f);
    EXPECT_TRUE(h.isFrame());
    EXPECT_EQ(h.deviceId(), frameView.deviceId());
    EXPECT_EQ(h.recordType(), frameView.recordType());
    EXPECT_EQ(h.flags(), frameView.flags());
    EXPECT_EQ(h.offset(), frameView.offset());
    EXPECT_EQ(h.protocolVersion(), frameView.protocolVersion());
    EXPECT_TRUE(std::equal(h.timeBytes().begin(), h.timeBytes().end(), frameView.timeBytes().begin()));
    EXPECT_EQ(FrameView(kept.header(false)).deviceId(), 7125u);  // without the kept fields: the low bits alone
}

TEST(IndexFilter, ACatalogsEntriesKeepTheHeadersOfTheFramesTheyAgreeWith) {
    TempDir dir;
    synth::SampleOptions options;
    options.frames = 30;
    const std::string path = dir.file("catalog.vxr");
    ASSERT_TRUE(synth::writeSampleFile(path, options));
    FileRecordSource source;
    ASSERT_TRUE(source.open(path));
    ASSERT_EQ(source.build(), std::nullopt);
    ASSERT_TRUE(source.catalogDisagreement().empty());
    for (std::size_t q = 0; q < source.index().size(); ++q) EXPECT_TRUE(source.index()[q].keptHeader()) << q;
    expectTheRowsOfTheFrames(source);
}

TEST(IndexFilter, AWalkPastDamageAndACutOffLastFrameGiveTheRowsOfTheFrames) {
    TempDir dir;
    synth::SampleOptions options;
    options.frames = 20;
    options.withCatalog = false;
    const std::string good = dir.file("good.vxr");
    ASSERT_TRUE(synth::writeSampleFile(good, options));
    Bytes bytes = tarvik::testing::slurpBytes(good);
    // Garbage after the fifth frame, and the last frame cut off past its header.
    std::size_t at = 0;
    for (int k = 0; k < 5; ++k) at += FrameView(ByteSpan(bytes).subspan(at)).size();
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), 37, 0x5A);
    bytes.resize(bytes.size() - 3);
    const std::string path = dir.write("damaged.vxr", bytes);

    FileRecordSource source;
    ASSERT_TRUE(source.open(path));
    source.build(true);
    ASSERT_TRUE(source.skippedDamage());
    ASSERT_TRUE(source.cutFrame().has_value());
    expectTheRowsOfTheFrames(source);
}

TEST(IndexFilter, AFrameWhoseSizeIsShorterThanAHeaderIsJudgedAsRead) {
    // The walk lists it; read back (Size bytes) it holds no header, so no
    // expression passes it, whatever the entry says of it.
    Bytes shortFrame = frame(7000, 7125, 0, 2);
    shortFrame.resize(kFrameHeaderSize);
    ByteWriter w(std::move(shortFrame));
    w.patch<std::uint32_t>(frame_offsets::size, 40);
    const Bytes bytes = tarvik::testing::concat({frame(7000, 7125, 0, 1), w.take()});
    TempDir dir;
    const std::string path = dir.write("short.vxr", bytes);
    FileRecordSource source;
    ASSERT_TRUE(source.open(path));
    source.build();
    ASSERT_EQ(source.index().size(), 2u);
    EXPECT_FALSE(source.index()[1].keptHeader());
    source.setFilter(filterOf("vx.device == 7125"));
    EXPECT_EQ(rowNumbers(source), (std::vector<std::uint32_t>{0}));
}
