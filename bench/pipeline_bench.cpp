// The arrival pipeline: records per second through ProcessArrivedRecords
// (100,000 frames of mixed types in batches of 1,000, scroll limit 1000), with
// a display that shows nothing, so that only the pipeline's own work is measured.

#include "pipeline/arrival_pipeline.h"
#include "tools/synth/server_records.h"

#include <benchmark/benchmark.h>

using namespace tarvik;

namespace {

struct NoDisplay final : PipelineDisplay {
    void setRecordRowCount(std::size_t) override {}
    std::optional<std::size_t> selectedRecordRow() const override { return std::nullopt; }
    void selectRecordRow(std::optional<std::size_t>) override {}
    std::pair<std::size_t, std::size_t> visibleRecordRows() const override { return {0, 0}; }
    void startArrivalTimer(unsigned) override {}
    void stopArrivalTimer() override {}
};

std::vector<Bytes> mixedFrames(std::size_t count) {
    synth::SimDevice device;
    synth::PingShape shape;
    shape.beams = 64;
    shape.samples = 100;
    shape.imageWidth = 64;
    shape.imageHeight = 32;
    std::vector<Bytes> kinds = {synth::sonarSettings(device, 1, 1),       synth::beamGeometry(device, 2, shape),
                                synth::bathymetry(device, 3, 1, shape),   synth::detections(device, 4, 1, shape),
                                synth::beamData(device, 5, 1, shape),     synth::imageData(device, 6, 1, shape),
                                synth::remoteSonarSettings(device, 7)};
    std::vector<Bytes> frames;
    for (std::size_t i = 0; i < count; ++i) frames.push_back(kinds[i % kinds.size()]);
    return frames;
}

void ProcessArrivedRecords(benchmark::State& state) {
    const std::vector<Bytes> frames = mixedFrames(100'000);
    std::size_t bytes = 0;
    for (const auto& f : frames) bytes += f.size();
    NoDisplay display;
    CArrivalPipeline pipeline(display);
    pipeline.setFilter(RecordFilter::types(state.range(0) ? "ALL RECORDS" : "7000; 7027"));
    pipeline.setScrollLimit(1000);
    std::size_t written = 0;
    CArrivalPipeline::Subscriber writer;
    writer.passed = [&](const Bytes&) { ++written; };
    const auto sink = pipeline.subscribe(std::move(writer));
    for (auto _ : state) {
        for (std::size_t at = 0; at < frames.size(); at += 1000) {
            state.PauseTiming();
            auto& batch = pipeline.arrivalBatch();
            batch.assign(frames.begin() + static_cast<long>(at), frames.begin() + static_cast<long>(at + 1000));
            state.ResumeTiming();
            pipeline.ProcessArrivedRecords();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * frames.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    benchmark::DoNotOptimize(written);
}
BENCHMARK(ProcessArrivedRecords)->Arg(1)->Arg(0)->ArgName("all")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
