// Speed of the record report and of building the layout catalogue.

#include "core/frame.h"
#include "decode/catalogue/catalogue.h"
#include "decode/report.h"
#include "tools/synth/report_records.h"

#include <benchmark/benchmark.h>

using namespace tarvik;

namespace {

struct Decoder {
    LayoutCatalogue catalogue = buildLayoutCatalogue();
    NoRemoteCommandDefinitions commands;
    RecordReporter reporter{catalogue, commands};
};

Decoder& decoder() {
    static Decoder d;
    return d;
}

void reportOf(benchmark::State& state, const Bytes& frame) {
    std::size_t lines = 0;
    for (auto _ : state) {
        Report r = decoder().reporter.report(frame, 1);
        lines = r.lines.size();
        benchmark::DoNotOptimize(r);
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["bytes"] = static_cast<double>(frame.size());
}

void BM_Report7008_256Beams2000Samples(benchmark::State& state) {
    FrameBuilder b(7008);
    synth::BeamData beams;
    beams.beams = 256;
    beams.samples = 2000;
    beams.sampleType = 0x0003;  // four-byte amplitude
    synth::data7008(b.data(), 1, beams);
    reportOf(state, b.build());
}
BENCHMARK(BM_Report7008_256Beams2000Samples)->Unit(benchmark::kMicrosecond);

void BM_Report7004_1024Beams(benchmark::State& state) {
    FrameBuilder b(7004);
    synth::data7004(b.data(), 1024);
    reportOf(state, b.build());
}
BENCHMARK(BM_Report7004_1024Beams)->Unit(benchmark::kMicrosecond);

void BM_Report7027_1024Detections(benchmark::State& state) {
    FrameBuilder b(7027);
    synth::data7027(b.data(), 1, 1024);
    reportOf(state, b.build());
}
BENCHMARK(BM_Report7027_1024Detections)->Unit(benchmark::kMicrosecond);

void BM_Report7027_8Detections(benchmark::State& state) {
    FrameBuilder b(7027);
    synth::data7027(b.data(), 1, 8);
    reportOf(state, b.build());
}
BENCHMARK(BM_Report7027_8Detections)->Unit(benchmark::kMicrosecond);

// The quiet walk the file check makes of every frame: counts and sizes, no text.
void BM_WalkOutcome7027_1024Detections(benchmark::State& state) {
    FrameBuilder b(7027);
    synth::data7027(b.data(), 1, 1024);
    const Bytes frame = b.build();
    for (auto _ : state) {
        Report r = decoder().reporter.walkOutcome(frame);
        benchmark::DoNotOptimize(r);
    }
    state.counters["bytes"] = static_cast<double>(frame.size());
}
BENCHMARK(BM_WalkOutcome7027_1024Detections)->Unit(benchmark::kMicrosecond);

void BM_BuildLayoutCatalogue(benchmark::State& state) {
    for (auto _ : state) {
        LayoutCatalogue c = buildLayoutCatalogue();
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(BM_BuildLayoutCatalogue)->Unit(benchmark::kMillisecond);

} // namespace



namespace {
void BM_ChecksumOf2MB(benchmark::State& state) {
    Bytes bytes(2'050'660, 0x5A);
    for (auto _ : state) benchmark::DoNotOptimize(computeChecksum(bytes, bytes.size()));
}
BENCHMARK(BM_ChecksumOf2MB)->Unit(benchmark::kMicrosecond);
} // namespace
BENCHMARK_MAIN();
