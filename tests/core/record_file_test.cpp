#include "core/file_window.h"
#include "core/record_file.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"
#include "tests/support/whole_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::testing::concat;
using tarvik::testing::TempDir;

namespace {

Bytes frameOf(std::uint32_t type, std::size_t dataBytes = 16) {
    FrameBuilder b(type);
    b.data().fill(dataBytes, 0x5A);
    return b.build();
}

std::optional<std::string> scan(const std::string& path, RecordIndex& index) {
    RecordFile f;
    EXPECT_TRUE(f.open(path));
    return ScanFrames(f, index);
}

} // namespace

TEST(ScanFrames, WalksEveryFrameAndStopsAfterA7300) {
    TempDir dir;
    auto path = dir.write("walk.vxr", concat({frameOf(7000), frameOf(7004, 100), frameOf(7300), frameOf(7027)}));
    RecordIndex index;
    EXPECT_EQ(scan(path, index), std::nullopt);
    ASSERT_EQ(index.size(), 3u);
    EXPECT_EQ(index[0].recordType(), 7000u);
    EXPECT_EQ(index[1].recordType(), 7004u);
    EXPECT_EQ(index[1].offset(), 84u);
    EXPECT_EQ(index[1].size(), 168u);
    EXPECT_EQ(index[2].recordType(), 7300u);
}

TEST(ScanFrames, IndexEntryCarriesTheHeaderFields) {
    TempDir dir;
    auto path = dir.write("one.vxr", synth::sampleFrame(7006, 7125, 99, 5));
    RecordIndex index;
    scan(path, index);
    ASSERT_EQ(index.size(), 1u);
    const auto& e = index[0];
    EXPECT_EQ(e.deviceId(), 7125u);
    EXPECT_EQ(e.recordCounter(), 99u);
    EXPECT_EQ(e.time().year, 2024u);
    EXPECT_EQ(e.systemEnumerator(), 0u);
    // The reader's entry keeps the rest of the header in memory (a catalog's entries are made with fromHeader).
    EXPECT_TRUE(e.keptHeader());
}

TEST(ScanFrames, BrokenFilesStopWithTheirMessage) {
    TempDir dir;
    RecordIndex index;

    EXPECT_EQ(scan(dir.write("empty.vxr", {}), index), "File empty.vxr Is Empty");
    EXPECT_TRUE(index.empty());

    EXPECT_EQ(scan(dir.write("short.vxr", Bytes(30, 0xFF)), index), "First Record Of File short.vxr Is Too Small");
    EXPECT_TRUE(index.empty());

    // The first frame's Size lands the second read off a frame.
    Bytes first = frameOf(7000);
    ByteWriter w(first);
    w.patch<std::uint32_t>(8, 40);
    auto wrong = dir.write("wrong.vxr", concat({w.take(), frameOf(7004)}));
    EXPECT_EQ(scan(wrong, index), "Second Record Of File wrong.vxr Does Not Have The Sync Pattern");
    EXPECT_EQ(index.size(), 1u);

    index.clear();
    Bytes noSync = frameOf(7000);
    noSync[4] = 0;
    EXPECT_EQ(scan(dir.write("nosync0.vxr", noSync), index), "Record 0 Of File nosync0.vxr Does Not Have The Sync Pattern");
    EXPECT_TRUE(index.empty());
    EXPECT_EQ(scan(dir.write("nosync2.vxr", concat({frameOf(1), frameOf(2), noSync})), index),
              "Record 2 Of File nosync2.vxr Does Not Have The Sync Pattern");
    EXPECT_EQ(index.size(), 2u);

    // A truncated last frame is silently ignored.
    index.clear();
    Bytes tail = frameOf(7027);
    tail.resize(40);
    EXPECT_EQ(scan(dir.write("tail.vxr", concat({frameOf(7000), tail})), index), std::nullopt);
    EXPECT_EQ(index.size(), 1u);

    // A Size past the end of the file: the frame is listed, the walk ends there.
    index.clear();
    Bytes past = frameOf(7008);
    ByteWriter p(past);
    p.patch<std::uint32_t>(8, 1'000'000);
    EXPECT_EQ(scan(dir.write("past.vxr", concat({frameOf(7000), p.take()})), index), std::nullopt);
    ASSERT_EQ(index.size(), 2u);
    EXPECT_EQ(index[1].size(), 1'000'000u);
}

TEST(ScanFrames, SizeZeroEndsTheWalkInsteadOfStandingStill) {
    TempDir dir;
    Bytes zero = frameOf(7000);
    ByteWriter w(zero);
    w.patch<std::uint32_t>(8, 0);
    RecordIndex index;
    EXPECT_EQ(scan(dir.write("zero.vxr", concat({frameOf(7001), w.take()})), index),
              "Record 1 Of File zero.vxr Has A Size Of 0");
    EXPECT_EQ(index.size(), 1u);
}

TEST(ReadCatalog, IndexesFromTheCatalogWithTheCatalogAsLastRow) {
    TempDir dir;
    synth::SampleOptions options;
    options.frames = 25;
    auto path = dir.file("cat.vxr");
    ASSERT_TRUE(synth::writeSampleFile(path, options));
    RecordFile f;
    ASSERT_TRUE(f.open(path));
    RecordIndex fromCatalog, walked;
    ASSERT_TRUE(ReadCatalog(f, fromCatalog));
    ASSERT_EQ(fromCatalog.size(), 27u);  // header, 25 frames, catalog
    EXPECT_EQ(fromCatalog[0].recordType(), 7200u);
    EXPECT_EQ(fromCatalog[26].recordType(), 7300u);
    EXPECT_EQ(ScanFrames(f, walked), std::nullopt);
    ASSERT_EQ(walked.size(), fromCatalog.size());
    for (std::size_t i = 0; i < walked.size(); ++i) {
        EXPECT_EQ(walked[i].offset(), fromCatalog[i].offset()) << i;
        EXPECT_EQ(walked[i].size(), fromCatalog[i].size()) << i;
        EXPECT_EQ(walked[i].recordType(), fromCatalog[i].recordType()) << i;
    }
    // A frame read through its entry is the whole frame.
    Bytes frame = ReadFrame(f, fromCatalog[3]);
    EXPECT_EQ(frame.size(), fromCatalog[3].size());
    EXPECT_EQ(FrameView(frame).checksumField(), computeChecksum(frame, frame.size() - 4));
}

TEST(ReadCatalog, UnusableCatalogsAreRefused) {
    TempDir dir;
    auto path = dir.file("cat.vxr");
    synth::SampleOptions options;
    options.frames = 5;
    ASSERT_TRUE(synth::writeSampleFile(path, options));
    Bytes good = tarvik::testing::slurpBytes(path);
    RecordIndex index;

    auto tryCatalog = [&](const Bytes& bytes) {
        auto p = dir.write("variant.vxr", bytes);
        RecordFile f;
        EXPECT_TRUE(f.open(p));
        bool ok = ReadCatalog(f, index);
        if (!ok) {
            EXPECT_TRUE(index.empty());
        }
        return ok;
    };
    EXPECT_TRUE(tryCatalog(good));

    const std::size_t pointerAt = FrameView(good).optionalDataOffset();
    const std::uint64_t catalogAt = readLEOr0<std::uint64_t>(good, pointerAt + 4);
    const std::size_t countAt = catalogAt + 64 + 6;

    // no optional data identifier 7300
    { ByteWriter w(good); w.patch<std::uint32_t>(16, 0); EXPECT_FALSE(tryCatalog(w.take())); }
    { ByteWriter w(good); w.patch<std::uint64_t>(pointerAt + 4, 0); EXPECT_FALSE(tryCatalog(w.take())); }
    { ByteWriter w(good); w.patch<std::uint32_t>(pointerAt, 0); EXPECT_FALSE(tryCatalog(w.take())); }
    { ByteWriter w(good); w.patch<std::uint64_t>(pointerAt + 4, 1ull << 40); EXPECT_FALSE(tryCatalog(w.take())); }
    { ByteWriter w(good); w.patch<std::uint32_t>(catalogAt + 32, 7301); EXPECT_FALSE(tryCatalog(w.take())); }
    { ByteWriter w(good); w.patch<std::uint32_t>(countAt, 0xFFFFFFFF); EXPECT_FALSE(tryCatalog(w.take())); }
    // An entry that points outside the file.
    { ByteWriter w(good); w.patch<std::uint64_t>(countAt + 8 + 48 * 2 + 4, 1ull << 33); EXPECT_FALSE(tryCatalog(w.take())); }
    // A file header record alone, pointing at nothing.
    EXPECT_FALSE(tryCatalog(Bytes(good.begin(), good.begin() + 396)));
}

TEST(ReadCatalog, EntriesThatDisagreeWithTheirFramesAreNotTrusted) {
    TempDir dir;
    synth::SampleOptions options;
    options.frames = 8;
    const auto path = dir.file("cat.vxr");
    ASSERT_TRUE(synth::writeSampleFile(path, options));
    const Bytes good = tarvik::testing::slurpBytes(path);
    const std::size_t pointerAt = FrameView(good).optionalDataOffset();
    const std::uint64_t catalogAt = readLEOr0<std::uint64_t>(good, pointerAt + 4);
    const std::size_t entry3 = catalogAt + 64 + 14 + 48 * 3;

    auto indexOf = [&](const Bytes& bytes, std::string& why) {
        RecordFile f;
        EXPECT_TRUE(f.open(dir.write("variant.vxr", bytes)));
        RecordIndex index;
        why.clear();
        const bool ok = ReadCatalog(f, index, &why);
        EXPECT_EQ(ok, !index.empty());
        return ok;
    };
    std::string why;
    EXPECT_TRUE(indexOf(good, why));
    EXPECT_EQ(why, "");

    // An entry 7 bytes off: no frame begins there.
    ByteWriter off(good);
    off.patch<std::uint64_t>(entry3 + 4, readLEOr0<std::uint64_t>(good, entry3 + 4) + 7);
    EXPECT_FALSE(indexOf(off.take(), why));
    EXPECT_NE(why.find("entry 4 "), std::string::npos) << why;  // numbered from 1, as the catalog's report
    EXPECT_NE(why.find("no sync pattern"), std::string::npos) << why;
    EXPECT_NE(why.find("listed by walking its frames"), std::string::npos) << why;
    // The first and the last entry are checked as every other.
    const std::uint32_t entries = readLEOr0<std::uint32_t>(good, catalogAt + 64 + 6);
    ASSERT_EQ(entries, 9u);  // the file header record and the 8 frames
    for (std::uint32_t i : {0u, entries - 1}) {
        const std::size_t at = catalogAt + 64 + 14 + 48 * i;
        ByteWriter end(good);
        end.patch<std::uint64_t>(at + 4, readLEOr0<std::uint64_t>(good, at + 4) + 7);
        EXPECT_FALSE(indexOf(end.take(), why)) << i;
        EXPECT_NE(why.find("entry " + std::to_string(i + 1) + " "), std::string::npos) << why;
    }

    // Every entry pointing at one frame: the sizes and types disagree.
    ByteWriter same(good);
    for (int i = 0; i < 9; ++i) {
        same.patch<std::uint64_t>(catalogAt + 64 + 14 + 48 * i + 4, readLEOr0<std::uint64_t>(good, entry3 + 4));
        same.patch<std::uint32_t>(catalogAt + 64 + 14 + 48 * i, readLEOr0<std::uint32_t>(good, entry3));
    }
    EXPECT_FALSE(indexOf(same.take(), why));
    EXPECT_NE(why.find("the frame's record type is"), std::string::npos) << why;

    ByteWriter size(good);
    size.patch<std::uint32_t>(entry3, readLEOr0<std::uint32_t>(good, entry3) - 4);
    EXPECT_FALSE(indexOf(size.take(), why));
    EXPECT_NE(why.find("the frame's Size is"), std::string::npos) << why;
}

TEST(RecordFile, OffsetsBeyondFourGigabytes) {
    TempDir dir;
    auto path = dir.file("huge.vxr");
    // A sparse file: two frames of almost 4 GiB each, then a small one past 8 GiB.
    const std::uint32_t bigSize = 0xFFFFF000u;
    Bytes big = frameOf(7008);
    { ByteWriter w(big); w.patch<std::uint32_t>(8, bigSize); big = w.take(); }
    Bytes small = frameOf(7027);
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, big.data(), big.size(), 0), ssize_t(big.size()));
    ASSERT_EQ(::pwrite(fd, big.data(), big.size(), off_t(bigSize)), ssize_t(big.size()));
    ASSERT_EQ(::pwrite(fd, small.data(), small.size(), off_t(2ull * bigSize)), ssize_t(small.size()));
    ::close(fd);

    RecordFile f;
    ASSERT_TRUE(f.open(path));
    RecordIndex index;
    EXPECT_EQ(ScanFrames(f, index), std::nullopt);
    ASSERT_EQ(index.size(), 3u);
    EXPECT_EQ(index[2].offset(), 2ull * bigSize);
    Bytes last = ReadFrame(f, index[2]);
    EXPECT_EQ(last, small);
}

TEST(RecordFile, ReadFrameIsClampedToTheFile) {
    TempDir dir;
    Bytes frame = frameOf(7000);
    auto path = dir.write("clamp.vxr", frame);
    RecordFile f;
    ASSERT_TRUE(f.open(path));
    RecordIndexEntry e = RecordIndexEntry::fromHeader(FrameView(frame), 50);
    EXPECT_EQ(ReadFrame(f, e).size(), frame.size() - 50);
    e = RecordIndexEntry::fromHeader(FrameView(frame), 1ull << 50);
    EXPECT_TRUE(ReadFrame(f, e).empty());
    EXPECT_FALSE(f.open(dir.file("missing.vxr")));
    EXPECT_FALSE(f.lastError().empty());
    EXPECT_FALSE(f.open(dir.path().string()));  // a folder is not a record file
}

TEST(RecordFilter, TypeOccursAnywhereInTheText) {
    EXPECT_TRUE(passesRecordFilter("ALL RECORDS", 1));
    EXPECT_TRUE(passesRecordFilter("7000; 7004", 7000));
    EXPECT_TRUE(passesRecordFilter("7000; 7004", 7004));
    EXPECT_FALSE(passesRecordFilter("7000; 7004", 7001));
    EXPECT_TRUE(passesRecordFilter("7000; 7004", 700));  // a substring passes
    EXPECT_FALSE(passesRecordFilter("", 7000));
    EXPECT_FALSE(passesRecordFilter("all records", 7000));
}

TEST(RecordIndex, GrowsAcrossChunks) {
    RecordIndex index;
    const std::size_t n = RecordIndex::kChunkEntries * 2 + 5;
    for (std::size_t i = 0; i < n; ++i) {
        RecordIndexEntry e;
        ByteWriter w;
        w.u32(static_cast<std::uint32_t>(i));
        std::copy(w.data().begin(), w.data().end(), e.raw.begin());
        index.push_back(e);
    }
    ASSERT_EQ(index.size(), n);
    EXPECT_EQ(index[n - 1].size(), n - 1);
    EXPECT_EQ(index[RecordIndex::kChunkEntries].size(), RecordIndex::kChunkEntries);
    std::size_t first = index.grow(3);
    EXPECT_EQ(first, n);
    EXPECT_EQ(index.chunkRun(first, 3).size(), 3u);
    EXPECT_EQ(index.chunkRun(RecordIndex::kChunkEntries - 1, 10).size(), 1u);
}

TEST(FileWindow, ReadingAheadServesTheBytesTheFileHolds) {
    // Requests going forward through a file of several stretches, as a check
    // and a table make them: small and window-sized, touching, overlapping
    // the window before, skipping ahead by less and more than a stretch, with
    // short and full reaches. Every answer is the file's own bytes.
    TempDir dir;
    Bytes content(std::size_t{9} << 20);
    std::uint32_t x = 12345;
    for (auto& b : content) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    const std::string path = dir.write("bytes.bin", content);
    for (const bool readAhead : {false, true}) {
        RecordFile file;
        ASSERT_TRUE(file.open(path));
        FileWindow window(file, content.size(), readAhead);
        std::uint64_t offset = 0;
        std::uint32_t r = 99;
        auto next = [&r](std::uint32_t n) { return (r = r * 1664525u + 1013904223u) >> 8 & (n - 1); };
        std::size_t requests = 0;
        while (offset < content.size()) {
            const std::size_t count = next(16) == 0 ? FileWindow::kWindow - next(1024) : 64 + next(8192);
            const std::size_t reach = next(2) ? FileWindow::kWindow : count + next(4096);
            const ByteSpan got = window.view(offset, count, reach);
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, content.size() - offset));
            ASSERT_EQ(got.size(), want) << offset;
            ASSERT_TRUE(std::equal(got.begin(), got.end(), content.begin() + static_cast<std::ptrdiff_t>(offset))) << offset;
            ++requests;
            switch (next(16)) {
            case 0: offset += std::uint64_t{1} << 20 | next(1 << 16); break;  // past a stretch
            case 1: offset += 20000 + next(1 << 16); break;                      // past the window
            case 2:
            case 3: offset += count / 2; break;                                   // overlapping
            default: offset += count; break;                                      // touching
            }
        }
        EXPECT_FALSE(window.cutShort());
        EXPECT_GT(requests, 100u);
    }
}
