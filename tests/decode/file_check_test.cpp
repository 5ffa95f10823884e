// The whole-file check: one crafted file per kind of problem, found at the
// right frame and byte; the counts per record type; files that are not files.

#include "core/record_file.h"
#include "decode/file_check.h"
#include "decode/layout_loader.h"
#include "decode/record_json.h"
#include "decode/walk_memo.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/report_records.h"
#include "tools/synth/sample_records.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <tuple>

using namespace tarvik;
using tarvik::testing::concat;
using tarvik::testing::TempDir;

namespace {

const LayoutCatalogue& builtIn() {
    static const LoadedDefinitions defs = loadLayouts({}, false);
    return defs.catalogue;
}

FileCheckResult checkFile(const std::string& path, FileCheckOptions options = {}) {
    static const NoRemoteCommandDefinitions none;
    return FileChecker(builtIn(), none, options).check(path);
}

Bytes ping7006(std::uint32_t ping, std::uint32_t device = 7125, std::uint16_t enumerator = 0,
               std::uint32_t counter = 1) {
    FrameBuilder b = synth::sampleBuilder(7006, device, counter);
    b.device(device, enumerator);
    synth::data7006(b.data(), ping, 4);
    return b.build();
}

Bytes framed(std::uint32_t type, std::uint32_t counter) { return synth::sampleFrame(type, 7125, counter, counter); }

// Kinds with at least one problem, and the (index, offset) of the first of `kind`.
std::vector<std::string> kindsOf(const FileCheckResult& r) {
    std::vector<std::string> out;
    for (std::size_t k = 0; k < kCheckProblemKinds; ++k)
        if (r.problems[k].count) out.emplace_back(checkProblemName(static_cast<CheckProblemKind>(k)));
    return out;
}
std::pair<std::uint64_t, std::uint64_t> firstAt(const FileCheckResult& r, CheckProblemKind kind) {
    const auto& list = r.of(kind);
    if (list.first.empty()) return {~std::uint64_t{0}, ~std::uint64_t{0}};
    return {list.first[0].index, list.first[0].offset};
}

using K = CheckProblemKind;
using Pos = std::pair<std::uint64_t, std::uint64_t>;
using V = std::vector<std::string>;

} // namespace

TEST(FileCheck, ASoundFileIsCleanAndCountedPerRecordType) {
    TempDir dir;
    const std::string path = dir.file("s.vxr");
    synth::SampleOptions o;
    o.frames = 75;
    ASSERT_TRUE(synth::writeSampleFile(path, o));
    const FileCheckResult r = checkFile(path);
    EXPECT_TRUE(r.clean()) << kindsOf(r).size();
    EXPECT_TRUE(r.hasCatalog);
    EXPECT_EQ(r.frames, 77u);
    EXPECT_EQ(r.fileBytes, std::filesystem::file_size(path));

    // The counts agree with the reader's own index of the file.
    RecordFile file;
    ASSERT_TRUE(file.open(path));
    RecordIndex index;
    ASSERT_EQ(ScanFrames(file, index), std::nullopt);
    std::map<std::uint32_t, std::pair<std::uint64_t, std::uint64_t>> expected;
    for (std::size_t i = 0; i < index.size(); ++i) {
        ++expected[index[i].recordType()].first;
        expected[index[i].recordType()].second += index[i].size();
    }
    const auto rows = r.statistics.rows();
    ASSERT_EQ(rows.size(), expected.size());
    double share = 0;
    for (const auto& row : rows) {
        EXPECT_EQ(row.count, expected[row.recordType].first) << row.recordType;
        EXPECT_EQ(row.bytes, expected[row.recordType].second) << row.recordType;
        share += row.share;
    }
    EXPECT_NEAR(share, 100.0, 1e-9);
    EXPECT_EQ(r.statistics.bytes(), r.fileBytes);

    // Frames that straddle the ends of the read window (megabytes apart) read whole and right.
    o.frames = 20000;
    const std::string large = dir.file("large.vxr");
    ASSERT_TRUE(synth::writeSampleFile(large, o));
    const FileCheckResult big = checkFile(large);
    EXPECT_GT(big.fileBytes, std::uint64_t{5} << 20);
    EXPECT_TRUE(big.clean()) << big.problemCount();
    EXPECT_EQ(big.frames, 20002u);
}

TEST(FileCheck, FramesAcrossTheEndsOfTheMappedStretchesReadWhole) {
    // Tens of megabytes: several windows of the file are walked in turn. A
    // frame spoilt where it crosses 16 MiB and 32 MiB is found there, and the
    // rest of the file stays clean.
    TempDir dir;
    const std::string path = dir.file("long.vxr");
    synth::SampleOptions o;
    o.frames = 130000;
    ASSERT_TRUE(synth::writeSampleFile(path, o));
    RecordFile file;
    ASSERT_TRUE(file.open(path));
    ASSERT_GT(file.size(), std::uint64_t{36} << 20);
    RecordIndex index;
    ASSERT_EQ(ScanFrames(file, index), std::nullopt);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> spoilt;  // (frame, offset)
    std::vector<std::uint64_t> bytes;  // the byte changed: in the data, past any ping number
    for (const std::uint64_t boundary : {std::uint64_t{16} << 20, std::uint64_t{32} << 20}) {
        for (std::size_t i = 0; i < index.size(); ++i) {
            const RecordIndexEntry& e = index[i];
            if (e.offset() < boundary && e.offset() + e.size() > boundary) {
                spoilt.emplace_back(i, e.offset());
                bytes.push_back(std::max(boundary, e.offset() + 96));
                ASSERT_LT(bytes.back(), e.offset() + e.size() - 4);
                break;
            }
        }
    }
    ASSERT_EQ(spoilt.size(), 2u);
    file.close();

    const FileCheckResult clean = checkFile(path, {.walkLayouts = false});
    EXPECT_TRUE(clean.clean()) << clean.problemCount();
    EXPECT_EQ(clean.frames, index.size());
    EXPECT_EQ(clean.statistics.bytes(), clean.fileBytes);

    {
        std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
        for (const std::uint64_t at : bytes) {
            out.seekg(static_cast<std::streamoff>(at));
            char c = 0;
            out.read(&c, 1);
            c = static_cast<char>(c ^ 0x10);
            out.seekp(static_cast<std::streamoff>(at));
            out.write(&c, 1);
        }
    }
    const FileCheckResult r = checkFile(path, {.walkLayouts = false});
    EXPECT_EQ(kindsOf(r), V{"checksum"});
    ASSERT_EQ(r.of(K::Checksum).count, 2u);
    for (std::size_t n = 0; n < 2; ++n)
        EXPECT_EQ(Pos(r.of(K::Checksum).first[n].index, r.of(K::Checksum).first[n].offset), spoilt[n]);
    EXPECT_EQ(r.frames, index.size());
}

TEST(FileCheck, FramingProblemsAreFoundWhereTheyAreAndTheWalkResumes) {
    TempDir dir;
    const Bytes a = framed(7000, 1), b = framed(7004, 2), c = framed(7027, 3);
    const Bytes junk(10, 0x11);

    // Bytes without a sync pattern between frames: reported, then skipped.
    auto r = checkFile(dir.write("sync.vxr", concat({a, b, junk, c, framed(7000, 4)})));
    EXPECT_EQ(kindsOf(r), V{"sync"});
    EXPECT_EQ(firstAt(r, K::Sync), Pos(2, std::uint64_t(a.size() + b.size())));
    EXPECT_NE(r.of(K::Sync).first[0].text.find("10 bytes skipped"), std::string::npos);
    EXPECT_EQ(r.frames, 4u);

    // A Size smaller than a header.
    Bytes small = b;
    small[8] = 20, small[9] = small[10] = small[11] = 0;
    r = checkFile(dir.write("size.vxr", concat({a, small, c})));
    EXPECT_EQ(firstAt(r, K::Size), Pos(1, std::uint64_t(a.size())));
    EXPECT_EQ(r.frames, 2u);  // the walk found c again

    // The last frame cut short, and a few bytes after the last frame.
    r = checkFile(dir.write("cut.vxr", concat({a, b, Bytes(c.begin(), c.end() - 7)})));
    EXPECT_EQ(kindsOf(r), V{"truncated"});
    EXPECT_EQ(firstAt(r, K::Truncated), Pos(2, std::uint64_t(a.size() + b.size())));
    EXPECT_NE(r.of(K::Truncated).first[0].text.find("runs 7 bytes past"), std::string::npos);
    r = checkFile(dir.write("tail.vxr", concat({a, Bytes(30, 0)})));
    EXPECT_EQ(firstAt(r, K::Truncated), Pos(1, std::uint64_t(a.size())));
}

TEST(FileCheck, AnObserverSeesEachCountedFrameWithItsBytesWhenHeldWhole) {
    TempDir dir;
    const Bytes a = framed(7000, 1), b = framed(7004, 2), c = framed(7027, 3);
    const std::string path = dir.write("seen.vxr", concat({a, Bytes(10, 0x11), b, Bytes(c.begin(), c.end() - 7)}));
    static const NoRemoteCommandDefinitions none;
    struct Seen {
        std::uint64_t index, offset;
        std::uint32_t type, counter;
        std::size_t bytes;
    };
    std::vector<Seen> seen;
    const FileCheckResult r = FileChecker(builtIn(), none).check(path, [&](const CheckedFrame& f) {
        EXPECT_TRUE(f.bytes.empty() || std::equal(f.header.bytes().begin(), f.header.bytes().end(), f.bytes.begin()));
        seen.push_back({f.index, f.offset, f.header.recordType(), f.header.recordCounter(), f.bytes.size()});
    });
    // The junk is skipped, the cut last frame is seen without its bytes, and
    // the observer sees the frames the check counts.
    ASSERT_EQ(seen.size(), r.frames);
    ASSERT_EQ(seen.size(), 3u);
    const std::uint64_t bAt = a.size() + 10, cAt = bAt + b.size();
    EXPECT_EQ(std::make_tuple(seen[0].index, seen[0].offset, seen[0].type, seen[0].bytes),
              std::make_tuple(std::uint64_t{0}, std::uint64_t{0}, 7000u, a.size()));
    EXPECT_EQ(std::make_tuple(seen[1].index, seen[1].offset, seen[1].type, seen[1].counter, seen[1].bytes),
              std::make_tuple(std::uint64_t{1}, bAt, 7004u, 2u, b.size()));
    EXPECT_EQ(std::make_tuple(seen[2].index, seen[2].offset, seen[2].type, seen[2].bytes),
              std::make_tuple(std::uint64_t{2}, cAt, 7027u, std::size_t{0}));
}

TEST(FileCheck, AFileCheckedAfterAnotherOnOneThreadIsJudgedByItsOwnBytes) {
    // A thread keeps its read buffer from one file to the next: what a longer
    // file left in it must not stand in for bytes a later file lacks or holds
    // otherwise. Each file reads as it does on a thread of its own.
    TempDir dir;
    const Bytes a = framed(7000, 1), b = framed(7004, 2), c = framed(7027, 3);
    Bytes spoilt = b;
    spoilt[b.size() / 2] ^= 0x5a;
    const std::vector<std::string> files = {
        dir.write("whole.vxr", concat({a, b, c, framed(7000, 4)})),
        dir.write("cut.vxr", concat({a, b, Bytes(c.begin(), c.end() - 7)})),
        dir.write("spoilt.vxr", concat({a, spoilt, c})),
        dir.write("short.vxr", concat({a, Bytes(30, 0)})),
        dir.write("empty.vxr", Bytes{}),
    };
    std::vector<std::string> alone(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        std::thread([&, i] { alone[i] = checkResultJson(checkFile(files[i]), -1); }).join();
    std::thread([&] {
        for (int round = 0; round < 2; ++round)
            for (std::size_t i = 0; i < files.size(); ++i)
                EXPECT_EQ(checkResultJson(checkFile(files[i]), -1), alone[i]) << files[i] << " round " << round;
    }).join();
    EXPECT_NE(alone[1].find("truncated"), std::string::npos);
    EXPECT_NE(alone[2].find("checksum"), std::string::npos);
}

TEST(FileCheck, ChecksumsAreCheckedOnlyWhenTheFlagsClaimOne) {
    TempDir dir;
    Bytes bad = framed(7004, 2);
    bad[100] ^= 0x01;
    Bytes unflagged = bad;
    unflagged[48] &= 0xFE;
    auto r = checkFile(dir.write("sum.vxr", concat({framed(7000, 1), bad, unflagged})));
    EXPECT_EQ(kindsOf(r), V{"checksum"});
    EXPECT_EQ(r.of(K::Checksum).count, 1u);
    EXPECT_EQ(firstAt(r, K::Checksum).first, 1u);

    // A producer that summed signed bytes is named as such.
    FrameBuilder sb(7022);
    sb.data().fill(40, 0xF0);
    Bytes signedSum = sb.build();
    const std::uint32_t s = computeSignedChecksum(signedSum, signedSum.size() - 4);
    for (int i = 0; i < 4; ++i) signedSum[signedSum.size() - 4 + i] = static_cast<std::uint8_t>(s >> (8 * i));
    r = checkFile(dir.write("signed.vxr", signedSum));
    ASSERT_EQ(r.of(K::Checksum).count, 1u);
    EXPECT_NE(r.of(K::Checksum).first[0].text.find("signed"), std::string::npos);

    // Only the first 20 of a kind are kept; the rest are counted.
    std::vector<Bytes> many(25, bad);
    Bytes all;
    for (const auto& m : many) all.insert(all.end(), m.begin(), m.end());
    r = checkFile(dir.write("many.vxr", all));
    EXPECT_EQ(r.of(K::Checksum).count, 25u);
    EXPECT_EQ(r.of(K::Checksum).first.size(), 20u);
    EXPECT_EQ(r.of(K::Checksum).first.back().index, 19u);
}

TEST(FileCheck, LayoutWalkProblemsAndUnknownTypes) {
    TempDir dir;
    FrameBuilder shortSettings = synth::sampleBuilder(7000, 7125, 2);
    shortSettings.data().u64(1).u32(2);  // far less than the layout's fields
    FrameBuilder unknown = synth::sampleBuilder(64999, 7125, 3);
    unknown.data().fill(12, 1);
    const Bytes a = framed(7000, 1), s = shortSettings.build();
    auto r = checkFile(dir.write("layout.vxr", concat({a, s, unknown.build()})));
    EXPECT_EQ(kindsOf(r), (V{"layout", "unknown-type"}));
    EXPECT_EQ(firstAt(r, K::Layout), Pos(1, std::uint64_t(a.size())));
    EXPECT_NE(r.of(K::Layout).first[0].text.find("Data exhausted"), std::string::npos);
    EXPECT_EQ(firstAt(r, K::UnknownType), Pos(2, std::uint64_t(a.size() + s.size())));

    // Without the layout walk neither is looked for.
    FileCheckOptions off;
    off.walkLayouts = false;
    EXPECT_TRUE(checkFile(dir.file("layout.vxr"), off).clean());
}

TEST(FileCheck, WhatTheReportOnlyHintsAtIsAProblem) {
    TempDir dir;
    // An empty file holds no frame: it is not clean.
    const auto empty = checkFile(dir.write("empty.vxr", Bytes{}));
    EXPECT_EQ(kindsOf(empty), (V{"truncated"}));
    EXPECT_NE(empty.of(K::Truncated).first[0].text.find("empty"), std::string::npos);

    // A count above 1,000,000 is taken as 0 and the vectors list nothing.
    FrameBuilder geometry = synth::sampleBuilder(7004, 7125, 2);
    synth::data7004(geometry.data(), 4);
    Bytes huge = geometry.build();
    ByteWriter w(huge);
    w.patch<std::uint32_t>(64 + 8, 1'000'001);
    Bytes counted = w.take();
    finishFrame(counted);
    // An optional data offset that points outside the frame (a wrapped -1).
    Bytes wrapped = framed(7022, 3);
    ByteWriter o(wrapped);
    o.patch<std::uint32_t>(12, 0xFFFFFFFF);
    wrapped = o.take();
    finishFrame(wrapped);
    // One that points into the frame's own header.
    Bytes inHeader = framed(7022, 6);
    ByteWriter h(inHeader);
    h.patch<std::uint32_t>(12, 10);
    inHeader = h.take();
    finishFrame(inHeader);
    // Bytes left after the last field that are not zero padding.
    FrameBuilder longer = synth::sampleBuilder(7022, 7125, 4);
    longer.data().fixedText("5.1", 32).u32(0xABCD);
    FrameBuilder padded = synth::sampleBuilder(7022, 7125, 5);
    padded.data().fixedText("5.1", 32).fill(40);
    const Bytes a = framed(7000, 1), l = longer.build();
    auto r = checkFile(dir.write("hints.vxr", concat({a, counted, wrapped, l, padded.build(), inHeader})));
    EXPECT_EQ(kindsOf(r), (V{"size", "layout"}));
    ASSERT_EQ(r.of(K::Layout).count, 2u);
    EXPECT_EQ(firstAt(r, K::Layout), Pos(1, a.size()));
    EXPECT_NE(r.of(K::Layout).first[0].text.find("Number of receiver beams 1000001, above 1,000,000"), std::string::npos)
        << r.of(K::Layout).first[0].text;
    EXPECT_EQ(r.of(K::Layout).first[1].index, 3u);
    EXPECT_NE(r.of(K::Layout).first[1].text.find("4 bytes after the last field are not decoded"), std::string::npos)
        << r.of(K::Layout).first[1].text;
    EXPECT_EQ(firstAt(r, K::Size), Pos(2, a.size() + counted.size()));
    EXPECT_NE(r.of(K::Size).first[0].text.find("optional data offset 4294967295 lies outside the frame"),
              std::string::npos);
    ASSERT_EQ(r.of(K::Size).count, 2u);
    EXPECT_EQ(r.of(K::Size).first[1].index, 5u);
    EXPECT_NE(r.of(K::Size).first[1].text.find("optional data offset 10 points into the header"), std::string::npos)
        << r.of(K::Size).first[1].text;
}

TEST(FileCheck, AnyNonZeroByteAfterTheLastFieldIsFoundWhereverItLies) {
    // 100 bytes after the last field: zero padding, or one byte set at the
    // start, at the ends of the blocks looked at together, in the bytes left
    // over after them, and last of all.
    TempDir dir;
    std::vector<Bytes> frames;
    const std::vector<std::size_t> at = {0, 31, 32, 63, 95, 96, 99};
    for (std::size_t k : at) {
        FrameBuilder b = synth::sampleBuilder(7022, 7125, static_cast<std::uint32_t>(frames.size() + 1));
        b.data().fixedText("5.1", 32).fill(k).fill(1, 0x01).fill(99 - k);
        frames.push_back(b.build());
    }
    FrameBuilder zero = synth::sampleBuilder(7022, 7125, 100);
    zero.data().fixedText("5.1", 32).fill(100);
    frames.push_back(zero.build());
    Bytes all;
    for (const Bytes& f : frames) all.insert(all.end(), f.begin(), f.end());
    const FileCheckResult r = checkFile(dir.write("pad.vxr", all));
    EXPECT_EQ(kindsOf(r), V{"layout"});
    ASSERT_EQ(r.of(K::Layout).count, at.size());
    for (std::size_t i = 0; i < at.size(); ++i) {
        EXPECT_EQ(r.of(K::Layout).first[i].index, i);
        EXPECT_NE(r.of(K::Layout).first[i].text.find("100 bytes after the last field are not decoded"), std::string::npos)
            << r.of(K::Layout).first[i].text;
    }
}

// Frames of one type and Size that walk alike and frames that do not: the
// same Size with another count, string length, beam or sample count in it.
std::vector<Bytes> alikeAndSteeredFrames() {
    auto patched = [](Bytes frame, std::size_t at, auto value) {
        ByteWriter w(std::move(frame));
        w.patch<decltype(value)>(at, value);
        Bytes out = w.take();
        finishFrame(out);
        return out;
    };
    std::vector<Bytes> frames;
    std::uint32_t counter = 1;
    for (int round = 0; round < 3; ++round) {
        frames.push_back(framed(7000, counter++));
        frames.push_back(framed(7027, counter++));  // 8 detections
        const Bytes detections = framed(7027, counter++);
        frames.push_back(patched(detections, 64 + 14, std::uint32_t{9}));   // one block more than it holds
        frames.push_back(patched(detections, 64 + 14, std::uint32_t{7}));   // one block left over
        FrameBuilder geometry = synth::sampleBuilder(7004, 7125, counter++);
        synth::data7004(geometry.data(), 4);
        const Bytes beams = geometry.build();
        frames.push_back(beams);
        frames.push_back(patched(beams, 64 + 8, std::uint32_t{1'000'001}));  // refused
        frames.push_back(patched(beams, 64 + 8, std::uint32_t{3}));          // fewer beams than bytes
        const Bytes event = synth::sizedSampleFrame(7051, 7125, counter++, 1, 40);
        frames.push_back(event);
        frames.push_back(patched(event, 64 + 10, std::uint16_t{200}));  // a text longer than the record
        frames.push_back(patched(event, 64 + 10, std::uint16_t{0}));    // no text at all
        const Bytes beamformed = framed(7008, counter++);
        frames.push_back(beamformed);
        frames.push_back(patched(beamformed, 64 + 18, std::uint32_t{9}));  // more samples than it holds
        frames.push_back(framed(7022, counter++));
    }
    return frames;
}

TEST(WalkMemo, ReplaysOnlyWhatWalksAlike) {
    static const NoRemoteCommandDefinitions none;
    RecordReporter walker(builtIn(), none), memoWalker(builtIn(), none);
    WalkMemo memo(memoWalker);
    for (const Bytes& frame : alikeAndSteeredFrames()) {
        const Report expected = walker.walkOutcome(frame);
        const Report& got = memo.outcome(frame);
        EXPECT_EQ(got.lines, expected.lines) << FrameView(frame).recordType();
        EXPECT_EQ(got.messages, expected.messages) << FrameView(frame).recordType();
        EXPECT_EQ(got.consumed, expected.consumed) << FrameView(frame).recordType();
    }
    // Later rounds repeat the first (13 frames), and are replayed.
    EXPECT_EQ(memo.replayed() + memo.walked(), 3u * 13u);
    EXPECT_GE(memo.replayed(), 2u * 13u);
}

// What a watch was handed: each item's name, place and depth.
using Handed = std::vector<std::tuple<std::string, std::int64_t, std::int64_t, int>>;

TEST(WalkMemo, HandsAWatchWhatTheWalkHandsIt) {
    static const NoRemoteCommandDefinitions none;
    // Watches that end the walk after the first n items of the record's own
    // level, or never; and one that ends it early only on its first call
    // (the walk of a record it was replayed for then goes on).
    for (int n : {1, 3, 1000, -1}) {
        RecordReporter walker(builtIn(), none), memoWalker(builtIn(), none);
        WalkMemo memo(memoWalker);
        bool first = true;
        for (const Bytes& frame : alikeAndSteeredFrames()) {
            auto watchOf = [&](Handed& handed, bool fresh) {
                return [&handed, &first, n, fresh](const WalkedField& f) {
                    handed.emplace_back(std::string(f.name), f.offset, f.width, f.depth);
                    const auto taken = std::count_if(handed.begin(), handed.end(), [](const auto& h) { return std::get<3>(h) == 0; });
                    if (n < 0) {
                        if (fresh) return true;
                        const bool goOn = !first || taken < 2;
                        if (!goOn) first = false;
                        return goOn;
                    }
                    return taken < n;
                };
            };
            Handed expected, got;
            const WalkMemo::Watch walkWatch = watchOf(expected, true);
            walker.watchFields(&walkWatch);
            walker.walkOutcome(frame);
            walker.watchFields(nullptr);
            if (n < 0 && first) {
                // The first call ends early: what the walk hands up to there.
                expected.resize(std::min<std::size_t>(expected.size(), 2));
            }
            memo.walkFields(frame, watchOf(got, false));
            EXPECT_EQ(got, expected) << FrameView(frame).recordType() << " n=" << n;
        }
        EXPECT_GE(memo.replayed(), 2u * 13u - 2u) << n;  // less the walks that went on
    }
}

TEST(WalkMemo, MoreKeysInTurnThanAreKeptAtHandWalkAsEveryWalk) {
    // Fourteen keys in turn, more than the walk memo finds without its table,
    // and keys first met without an outcome that has one later.
    static const NoRemoteCommandDefinitions none;
    RecordReporter walker(builtIn(), none), memoWalker(builtIn(), none);
    WalkMemo memo(memoWalker);
    std::vector<Bytes> frames;
    for (std::uint32_t type : {7000u, 7001u, 7004u, 7006u, 7008u, 7022u, 7027u}) {
        frames.push_back(framed(type, 1));
        Bytes other = framed(type, 2);
        ByteWriter w(other);
        w.patch<std::uint16_t>(30, 9);  // a record version without a layout
        frames.push_back(w.take());
    }
    for (int round = 0; round < 3; ++round) {
        for (const Bytes& frame : frames) {
            const Report expected = walker.walkOutcome(frame);
            const Report& got = memo.outcome(frame);
            EXPECT_EQ(got.lines, expected.lines) << FrameView(frame).recordType();
            EXPECT_EQ(got.messages, expected.messages) << FrameView(frame).recordType();
            EXPECT_EQ(got.consumed, expected.consumed) << FrameView(frame).recordType();
        }
    }
    EXPECT_EQ(memo.replayed() + memo.walked(), 3u * frames.size());
    EXPECT_GE(memo.replayed(), 2u * 12u);  // all but the walks that read samples
}

TEST(FileCheck, RememberedWalksReportWhatEveryWalkReports) {
    TempDir dir;
    Bytes all;
    for (const Bytes& frame : alikeAndSteeredFrames()) all.insert(all.end(), frame.begin(), frame.end());
    const std::string path = dir.write("alike.vxr", all);
    FileCheckOptions every;
    every.rememberWalks = false;
    const FileCheckResult walked = checkFile(path, every), replayed = checkFile(path);
    EXPECT_GE(walked.of(K::Layout).count, 15u);  // the steered frames of each round are found
    EXPECT_EQ(checkSummaryLines(replayed), checkSummaryLines(walked));
    EXPECT_EQ(checkResultJson(replayed), checkResultJson(walked));
}

TEST(FileCheck, ReadingAheadOnASecondThreadFindsWhatOneThreadFinds) {
    // Several megabytes, so that the second thread reads many stretches
    // ahead: junk, spoilt frames and frames larger than a window near and
    // across the ends of the stretches, a frame too large for two windows,
    // and the last frame cut short.
    TempDir dir;
    Bytes all;
    std::uint64_t length = 0;
    std::uint32_t counter = 1;
    auto add = [&](const Bytes& b) {
        length += b.size();
        all.insert(all.end(), b.begin(), b.end());
    };
    for (std::uint64_t mark = std::uint64_t{1} << 20; mark <= (std::uint64_t{6} << 20); mark += std::uint64_t{1} << 20) {
        while (length + 2048 < mark) add(framed(7000 + (counter % 3) * 4, counter)), ++counter;
        const std::uint64_t n = mark >> 20;
        if (n == 1) add(Bytes(10, 0x11));  // no sync pattern
        if (n == 2) {
            Bytes spoilt = framed(7027, counter++);
            spoilt[spoilt.size() - 9] ^= 0x10;
            add(spoilt);
        }
        if (n == 3) add(synth::sizedSampleFrame(7000, 7125, counter, counter, 300u << 10)), ++counter;
        if (n == 4) add(synth::sizedSampleFrame(7000, 7125, counter, counter, 700u << 10)), ++counter;
        if (n == 5) add(Bytes(3, 0x22));
    }
    const Bytes last = framed(7027, counter);
    add(Bytes(last.begin(), last.end() - 7));
    const std::string path = dir.write("ahead.vxr", all);

    static const NoRemoteCommandDefinitions none;
    auto run = [&](bool readAhead, std::vector<std::pair<std::uint64_t, Bytes>>& seen) {
        FileCheckOptions o;
        o.readAhead = readAhead;
        o.readAheadFrom = 0;
        return FileChecker(builtIn(), none, o).check(path, [&](const CheckedFrame& f) {
            seen.emplace_back(f.offset, Bytes(f.bytes.begin(), f.bytes.end()));
        });
    };
    std::vector<std::pair<std::uint64_t, Bytes>> alone, ahead;
    const FileCheckResult one = run(false, alone), two = run(true, ahead);
    EXPECT_EQ(one.of(K::Sync).count, 2u);
    EXPECT_EQ(one.of(K::Checksum).count, 1u);
    EXPECT_EQ(one.of(K::Truncated).count, 1u);
    EXPECT_EQ(checkSummaryLines(two), checkSummaryLines(one));
    EXPECT_EQ(checkResultJson(two), checkResultJson(one));
    EXPECT_TRUE(ahead == alone);
    EXPECT_EQ(ahead.size(), counter);

    // Another program cuts the file short while it is checked: what was read
    // ahead before the cut and what is read after it end in the same report.
    for (const bool readAhead : {false, true}) {
        const std::string cut = dir.write("cut.vxr", all);
        FileCheckOptions o;
        o.readAhead = readAhead;
        o.readAheadFrom = 0;
        const FileCheckResult r = FileChecker(builtIn(), none, o).check(cut, [&](const CheckedFrame& f) {
            if (f.index == 100) std::filesystem::resize_file(cut, std::uint64_t{3} << 20);
        });
        ASSERT_GE(r.of(K::Truncated).count, 1u) << readAhead;
        EXPECT_NE(r.of(K::Truncated).first.back().text.find("cut short to 3145728 bytes by another program"),
                  std::string::npos)
            << readAhead;
        EXPECT_LT(r.frames, counter) << readAhead;
    }
}

TEST(FileCheck, ASmallFileIsReadOnOneThreadWhateverIsAsked) {
    // Some 3 MB: enough for a read ahead where one is allowed, far below the default size for one.
    TempDir dir;
    Bytes all;
    for (std::uint32_t counter = 1; all.size() < (std::size_t{3} << 20); ++counter) {
        const Bytes f = framed(7000 + (counter % 3) * 4, counter);
        all.insert(all.end(), f.begin(), f.end());
    }
    const std::string path = dir.write("small.vxr", all);
    static const NoRemoteCommandDefinitions none;
    auto threadsSeen = [&](std::uint64_t readAheadFrom) {
        FileCheckOptions o;
        o.readAhead = true;
        o.readAheadFrom = readAheadFrom;
        std::size_t most = 0;
        FileChecker(builtIn(), none, o).check(path, [&](const CheckedFrame& f) {
            if (f.index % 500 != 0) return;
            std::size_t n = 0;
            for ([[maybe_unused]] const auto& t : std::filesystem::directory_iterator("/proc/self/task")) ++n;
            most = std::max(most, n);
        });
        return most;
    };
    const std::size_t alone = threadsSeen(FileCheckOptions{}.readAheadFrom);
    EXPECT_EQ(threadsSeen(0), alone + 1);
    EXPECT_LT(all.size(), FileCheckOptions{}.readAheadFrom);
}

TEST(FileCheck, PingGapsFollowTheRecordListRulePerSource) {
    TempDir dir;
    // Device 7125: 10, 12 (one missing), 13, 113 (a new sequence), 113 (a repeat).
    // Device 7150 and enumerator 1 of 7125 keep their own numbers.
    const std::vector<Bytes> frames = {ping7006(10),          ping7006(5, 7150),     ping7006(12),
                                       ping7006(7, 7150),     ping7006(13),          ping7006(20, 7125, 1),
                                       ping7006(21, 7125, 1), ping7006(113),         ping7006(113)};
    Bytes all;
    std::vector<std::uint64_t> offsets;
    for (const auto& f : frames) {
        offsets.push_back(all.size());
        all.insert(all.end(), f.begin(), f.end());
    }
    const auto r = checkFile(dir.write("pings.vxr", all));
    EXPECT_EQ(kindsOf(r), V{"ping-gap"});
    ASSERT_EQ(r.of(K::PingGap).count, 2u);
    EXPECT_EQ(r.of(K::PingGap).first[0].index, 2u);
    EXPECT_EQ(r.of(K::PingGap).first[0].offset, offsets[2]);
    EXPECT_NE(r.of(K::PingGap).first[0].text.find("ping 12 after ping 10"), std::string::npos);
    EXPECT_EQ(r.of(K::PingGap).first[1].index, 3u);  // 7150: 5 then 7
}

TEST(FileCheck, TimeGoingBackwardsPerDevice) {
    TempDir dir;
    auto at = [](float seconds, std::uint32_t device) {
        Bytes f = synth::sampleFrame(7022, device, 1, 0);
        ByteWriter t;
        VxTIME{2024, 65, seconds, 7, 4}.write(t);
        std::copy(t.data().begin(), t.data().end(), f.begin() + 20);
        finishFrame(f);
        return f;
    };
    // Another device's earlier time is no problem; the same device's is.
    const Bytes f0 = at(10, 1), f1 = at(5, 2), f2 = at(9, 1);
    const auto r = checkFile(dir.write("time.vxr", concat({f0, f1, f2, at(11, 1)})));
    EXPECT_EQ(kindsOf(r), V{"time-backwards"});
    EXPECT_EQ(firstAt(r, K::TimeBackwards), Pos(2, std::uint64_t(f0.size() + f1.size())));
    EXPECT_EQ(r.of(K::TimeBackwards).count, 1u);
}

TEST(FileCheck, TheCatalogIsComparedWithTheFrames) {
    TempDir dir;
    synth::SampleOptions o;
    o.frames = 12;
    const std::string good = dir.file("cat.vxr");
    ASSERT_TRUE(synth::writeSampleFile(good, o));
    Bytes bytes = tarvik::testing::slurpBytes(good);
    const FrameView first(bytes);
    const auto catalogAt = readLEOr0<std::uint64_t>(bytes, first.optionalDataOffset() + 4);
    const std::size_t entry5 = static_cast<std::size_t>(catalogAt) + 64 + 14 + 5 * 48;

    // Changes a byte of the catalog record and mends its checksum.
    auto edited = [&](std::size_t at, std::uint8_t x) {
        Bytes b = bytes;
        b[at] ^= x;
        Bytes catalog(b.begin() + static_cast<long>(catalogAt), b.end());
        finishFrame(catalog);
        std::copy(catalog.begin(), catalog.end(), b.begin() + static_cast<long>(catalogAt));
        return b;
    };
    Bytes wrongType = edited(entry5 + 12, 0x01);
    auto r = checkFile(dir.write("type.vxr", wrongType));
    EXPECT_EQ(kindsOf(r), V{"catalog"});
    EXPECT_EQ(firstAt(r, K::Catalog).first, 5u);
    EXPECT_NE(r.of(K::Catalog).first[0].text.find("record type"), std::string::npos);
    EXPECT_NE(r.of(K::Catalog).first[0].text.find("catalog entry 6 "), std::string::npos)  // the report's "Index data 6"
        << r.of(K::Catalog).first[0].text;
    // The first entry (the file header record's) and the last are compared as every other.
    for (std::size_t i : {std::size_t{0}, std::size_t{12}}) {
        const Bytes wrong = edited(static_cast<std::size_t>(catalogAt) + 64 + 14 + i * 48 + 12, 0x01);
        r = checkFile(dir.write("end.vxr", wrong));
        EXPECT_EQ(kindsOf(r), V{"catalog"}) << i;
        EXPECT_EQ(firstAt(r, K::Catalog).first, i);
    }

    Bytes wrongCount = edited(static_cast<std::size_t>(catalogAt) + 64 + 6, 0x01);  // 13 becomes 12
    r = checkFile(dir.write("count.vxr", wrongCount));
    ASSERT_EQ(r.of(K::Catalog).count, 1u);
    EXPECT_NE(r.of(K::Catalog).first[0].text.find("lists 12 records, 13 frames"), std::string::npos);

    Bytes badPointer = bytes;
    badPointer[first.optionalDataOffset() + 4] ^= 0x40;
    r = checkFile(dir.write("pointer.vxr", badPointer));
    EXPECT_FALSE(r.hasCatalog);
    EXPECT_EQ(r.of(K::Catalog).count, 1u);
    EXPECT_EQ(r.frames, 14u);  // the frames are walked all the same
}

TEST(FileCheck, PathsThatAreNotRecordFiles) {
    TempDir dir;
    auto r = checkFile(dir.path().string());
    ASSERT_TRUE(r.unreadable);
    EXPECT_EQ(*r.unreadable, "it is a directory");

    const std::string fifo = dir.file("pipe.vxr");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    r = checkFile(fifo);  // returns at once: nobody writes to the FIFO
    ASSERT_TRUE(r.unreadable);
    EXPECT_NE(r.unreadable->find("FIFO"), std::string::npos);

    r = checkFile(dir.file("missing.vxr"));
    ASSERT_TRUE(r.unreadable);
    EXPECT_FALSE(r.clean());
}

TEST(FileCheck, AHugeSparseFileIsCheckedInBoundedMemory) {
    TempDir dir;
    const std::string path = dir.file("sparse.vxr");
    const Bytes a = framed(7000, 1);
    dir.write("sparse.vxr", a);
    std::filesystem::resize_file(path, std::uint64_t{8} << 30);
    // A frame at the very end, after 8 GiB of zeros.
    {
        std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(static_cast<std::streamoff>((std::uint64_t{8} << 30) - a.size()));
        out.write(reinterpret_cast<const char*>(a.data()), static_cast<std::streamsize>(a.size()));
    }
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto r = checkFile(path);
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(r.frames, 2u);
    ASSERT_EQ(r.of(K::Sync).count, 1u);
    EXPECT_EQ(r.of(K::Sync).first[0].offset, a.size());
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024);  // kilobytes
}

TEST(RecordJson, ItemsCarryOffsetsWidthsTextsAndNestedBlocks) {
    FrameBuilder b = synth::sampleBuilder(7027, 7125, 4);
    synth::data7027(b.data(), 101, 3);
    const Bytes frame = b.build();
    static const NoRemoteCommandDefinitions none;
    RecordReporter reporter(builtIn(), none);
    std::vector<WalkedField> fields;
    reporter.collectFields(&fields);
    const Report rep = reporter.report(frame, 4);
    const auto nodes = nestWalkedFields(fields);
    ASSERT_GE(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].field->name, "Sonar serial number");
    EXPECT_EQ(nodes[0].field->offset, 64);
    EXPECT_EQ(nodes[0].field->width, 8);
    EXPECT_EQ(nodes[1].field->offset, 72);
    EXPECT_EQ(rep.lines[nodes[1].field->lineEnd - 1], "Ping number 101");
    // The detections: three blocks with the same items each, in byte order.
    const ItemNode* repeat = nullptr;
    for (const auto& n : nodes)
        if (!n.blocks.empty()) repeat = &n;
    ASSERT_NE(repeat, nullptr);
    ASSERT_EQ(repeat->blocks.size(), 3u);
    EXPECT_EQ(repeat->blocks[0].size(), repeat->blocks[2].size());
    EXPECT_EQ(repeat->blocks[1][0].field->offset,
              repeat->blocks[0].back().field->offset + repeat->blocks[0].back().field->width);
    std::int64_t blockBytes = 0;
    for (const auto& blk : repeat->blocks)
        for (const auto& item : blk) blockBytes += item.field->width;
    EXPECT_EQ(blockBytes, repeat->field->width);
}

TEST(FileCheck, GeneratedFilesLongerThanACatalogMayListLeaveItOutAndStayClean) {
    // A catalog's record count is refused above its limit, so a file with more
    // records before its catalog gets none; the limit is lowered to keep the
    // files small. The picture file's count sits exactly at the limit first.
    TempDir dir;
    struct Case {
        std::size_t frames, pings, limit;
        bool catalog;
    };
    const Case cases[] = {{9, 0, 10, true}, {10, 0, 10, false}, {0, 150, 166, true}, {0, 150, 165, false}};
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = dir.file("c" + std::to_string(n++) + ".vxr");
        synth::SampleOptions o;
        o.frames = c.frames;
        o.imageryPings = c.pings;
        o.catalogLimit = c.limit;
        std::string error;
        synth::SampleFileResult written;
        ASSERT_TRUE(synth::writeSampleFile(path, o, true, error, &written)) << error;
        EXPECT_EQ(written.catalogLeftOut, !c.catalog) << path;
        const FileCheckResult r = checkFile(path);
        EXPECT_TRUE(r.clean()) << path << " " << kindsOf(r).size();
        EXPECT_EQ(r.hasCatalog, c.catalog) << path;
        EXPECT_EQ(r.frames, written.records) << path;
    }
}

namespace {

// What a check gives, as text: the summary lines, and each frame the
// observer saw (index, offset, type, bytes held).
std::string checkedText(const FileCheckResult& r, const std::vector<std::string>& seen) {
    std::string out;
    for (const std::string& line : checkSummaryLines(r)) out += line + "\n";
    for (const std::string& s : seen) out += s + "\n";
    return out;
}
Bytes joined(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
std::string seenText(const CheckedFrame& f) {
    return std::to_string(f.index) + " " + std::to_string(f.offset) + " " + std::to_string(f.header.recordType()) +
           " " + std::to_string(f.bytes.size());
}

} // namespace

TEST(FrameSequenceCheck, FramesHandedOverOneByOneAreJudgedAsTheFileTheyMake) {
    TempDir dir;
    static const NoRemoteCommandDefinitions none;
    const FileChecker checker(builtIn(), none);
    Bytes spoilt = framed(7004, 2);
    spoilt[spoilt.size() / 2] ^= 0x5a;  // a checksum that does not match
    Bytes oversized = framed(7027, 9);  // a Size past its bytes: the walk reads on into the next frame
    oversized[8] = static_cast<std::uint8_t>(oversized[8] + 40);
    const Bytes backwards = synth::restamped(framed(7000, 10), synth::sampleTime(1));  // earlier than the frames before
    const std::vector<Bytes> frames = {framed(7000, 1), spoilt,       ping7006(5), ping7006(9), framed(7027, 3),
                                       backwards,       ping7006(10), oversized,   framed(7000, 4), Bytes(30, 0x11),
                                       framed(7004, 5)};
    // Handed over up to the first refused frame, the rest written where they
    // stand in the file (a hole before them) and walked from there.
    for (std::size_t whole : {frames.size(), std::size_t{0}}) {
        const std::vector<Bytes> used(frames.begin(), frames.begin() + static_cast<long>(whole ? whole : 7));
        const std::string file = dir.write("all.vxr", joined(used));
        std::vector<std::string> fileSeen, handedSeen;
        const FileCheckResult expected = checker.check(file, [&](const CheckedFrame& f) { fileSeen.push_back(seenText(f)); });
        FrameSequenceCheck handed(checker, [&](const CheckedFrame& f) { handedSeen.push_back(seenText(f)); });
        std::size_t taken = 0;
        while (taken < used.size() && handed.add(used[taken])) ++taken;
        EXPECT_EQ(handed.position(), joined(std::vector<Bytes>(used.begin(), used.begin() + static_cast<long>(taken))).size());
        if (taken < used.size()) {
            EXPECT_EQ(taken, 7u);  // the oversized frame
            EXPECT_FALSE(handed.add(used.back()));  // refused from then on
            std::ofstream rest(dir.file("rest.vxr"), std::ios::binary);
            rest.seekp(static_cast<std::streamoff>(handed.position()));
            const Bytes tail = joined(std::vector<Bytes>(used.begin() + static_cast<long>(taken), used.end()));
            rest.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
            rest.close();
            handed.checkRestOf(dir.file("rest.vxr"));
        }
        FileCheckResult got = handed.finish(file);
        EXPECT_EQ(checkedText(got, handedSeen), checkedText(expected, fileSeen));
        EXPECT_EQ(got.fileBytes, expected.fileBytes);
        EXPECT_FALSE(expected.clean());
        if (whole) {
            EXPECT_EQ(kindsOf(expected), (V{"sync", "checksum", "layout", "ping-gap", "time-backwards"}));
        } else {
            EXPECT_EQ(kindsOf(expected), (V{"checksum", "ping-gap", "time-backwards"}));
            EXPECT_EQ(taken, used.size());
        }
    }

    // Nothing handed over is an empty file; a first frame that names a file
    // catalog is refused, so that the catalog is compared as the walk does.
    FrameSequenceCheck nothing(checker);
    EXPECT_EQ(checkedText(nothing.finish(dir.file("e")), {}), checkedText(checker.check(dir.write("e", Bytes{})), {}));
    synth::SampleOptions o;
    o.frames = 3;
    ASSERT_TRUE(synth::writeSampleFile(dir.file("cat.vxr"), o));
    const Bytes withCatalog = tarvik::testing::slurpBytes(dir.file("cat.vxr"));
    const ByteSpan first = ByteSpan(withCatalog).first(FrameView(withCatalog).size());
    EXPECT_FALSE(FrameSequenceCheck::takes(first, true));
    EXPECT_TRUE(FrameSequenceCheck::takes(first, false));
    EXPECT_TRUE(FrameSequenceCheck::takes(frames[0], true));
    EXPECT_FALSE(FrameSequenceCheck::takes(oversized, false));
    EXPECT_FALSE(FrameSequenceCheck::takes(frames[9], false));
}
